#include "app/check_combo_text.h"

namespace tarvik {

std::string checkComboSeparator(std::string_view localeListSeparator) {
    std::string separator(localeListSeparator.empty() ? ";" : localeListSeparator);
    while (!separator.empty() && (separator.back() == ' ' || separator.back() == '\t')) separator.pop_back();
    separator += ' ';
    return separator;
}

std::string joinCheckedItems(const std::vector<CheckItem>& items, std::string_view separator,
                             std::string_view noSelection) {
    std::string joined;
    bool any = false;
    for (const CheckItem& item : items) {
        if (!item.checked) continue;
        if (any) joined += separator;
        joined += item.text;
        any = true;
    }
    return any ? joined : std::string(noSelection);
}

} // namespace tarvik
