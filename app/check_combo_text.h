#pragma once
// The text a check-mark combo box shows: the texts of its checked items joined
// by the list separator, or the no-selection text when nothing is checked.

#include <string>
#include <string_view>
#include <vector>

namespace tarvik {

// The separator placed between joined items: the locale's list separator (";"
// when the locale gives none), trailing blanks removed, one space appended.
std::string checkComboSeparator(std::string_view localeListSeparator);

struct CheckItem {
    std::string text;
    bool checked = false;
};

// Checked items in list order joined by `separator`; `noSelection` when none is checked.
std::string joinCheckedItems(const std::vector<CheckItem>& items, std::string_view separator,
                             std::string_view noSelection);

} // namespace tarvik
