#include "profiles/report.h"

#include "core/text.h"

#include <nlohmann/json.hpp>

namespace tarvik::profiles {

namespace {

std::string rowText(const RuleRow& r) {
    return r.row == 0 && r.text.rfind("none", 0) == 0 ? r.text : "row " + std::to_string(r.row) + ": " + r.text;
}

// Text for XML 1.0: markup characters escaped, control characters the format
// cannot hold and bytes that are not UTF-8 (a record's text fields may hold
// anything) made '?'.
std::string xmlText(std::string_view s) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        if (c < 0x80) {
            switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default: out += (c < 0x20 && c != '\t' && c != '\n' && c != '\r') ? '?' : static_cast<char>(c);
            }
            ++i;
            continue;
        }
        // A whole, shortest-form UTF-8 sequence is kept; anything else is one '?' a byte.
        const std::size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c < 0xE0 ? 2 : 0;
        bool whole = n > 0 && i + n <= s.size();
        for (std::size_t k = 1; whole && k < n; ++k) whole = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
        if (whole && n == 3) {
            const auto c1 = static_cast<unsigned char>(s[i + 1]);
            whole = !(c == 0xE0 && c1 < 0xA0) && !(c == 0xED && c1 >= 0xA0);  // overlong, surrogates
        }
        if (whole && n == 4) {
            const auto c1 = static_cast<unsigned char>(s[i + 1]);
            whole = !(c == 0xF0 && c1 < 0x90) && !(c == 0xF4 && c1 >= 0x90);
        }
        if (!whole) {
            out += '?';
            ++i;
            continue;
        }
        out.append(s.substr(i, n));
        i += n;
    }
    return out;
}

} // namespace

std::vector<std::string> resultLines(const std::vector<RuleResult>& results) {
    std::vector<std::string> lines;
    for (const RuleResult& r : results) {
        const bool warning = r.severity == Severity::Warning;
        std::string line;
        switch (r.outcome) {
        case Outcome::Passed: line = "pass  " + r.name + ": " + r.note; break;
        case Outcome::NotEvaluated: line = "n/a   " + r.name + ": not evaluated, " + r.note; break;
        case Outcome::Failed:
            line = std::string(warning ? "WARN  " : "FAIL  ") + r.name + ": " +
                   std::to_string(r.failures) + (r.failures == 1 ? " failure" : " failures") + " (" + r.note + ")";
            break;
        }
        if (r.outcome == Outcome::Passed && r.changes > 0)
            line += "; " + std::to_string(r.changes) + (r.changes == 1 ? " change" : " changes");
        lines.push_back(std::move(line));
        for (const RuleRow& row : r.rows) lines.push_back("      " + rowText(row));
        const std::uint64_t shown = r.rows.size();
        const std::uint64_t total = r.outcome == Outcome::Failed ? r.failures : r.changes;
        if (total > shown) lines.push_back("      ... " + std::to_string(total - shown) + " more");
    }
    return lines;
}

std::string verdictJson(const Profile& profile, const std::vector<SourceVerdict>& verdicts, int indent) {
    nlohmann::ordered_json doc;
    doc["profile"] = profile.name;
    doc["profile_file"] = profile.path;
    bool passed = true;
    nlohmann::ordered_json sources = nlohmann::ordered_json::array();
    for (const SourceVerdict& v : verdicts) {
        nlohmann::ordered_json s;
        s["source"] = v.source;
        s["warnings"] = v.warnings;
        nlohmann::ordered_json rules = nlohmann::ordered_json::array();
        for (const RuleResult& r : v.results) {
            nlohmann::ordered_json j;
            j["rule"] = r.name;
            j["kind"] = checkKindName(r.kind);
            j["severity"] = severityName(r.severity);
            j["outcome"] = r.outcome == Outcome::Passed ? "passed"
                         : r.outcome == Outcome::Failed ? "failed"
                                                        : "not_evaluated";
            j["judged"] = r.judged;
            j["failures"] = r.failures;
            j["changes"] = r.changes;
            j["note"] = r.note;
            nlohmann::ordered_json rows = nlohmann::ordered_json::array();
            for (const RuleRow& row : r.rows) {
                nlohmann::ordered_json jr;
                jr["row"] = row.row;
                jr["time"] = row.time ? nlohmann::ordered_json(*row.time) : nlohmann::ordered_json();
                jr["text"] = row.text;
                rows.push_back(std::move(jr));
            }
            j["rows"] = std::move(rows);
            rules.push_back(std::move(j));
        }
        const bool sourcePassed = !anyErrorFailed(v.results);
        passed = passed && sourcePassed;
        s["passed"] = sourcePassed;
        s["rules"] = std::move(rules);
        sources.push_back(std::move(s));
    }
    doc["passed"] = passed;
    doc["sources"] = std::move(sources);
    return doc.dump(indent, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

std::string verdictJUnit(const Profile& profile, const std::vector<SourceVerdict>& verdicts) {
    std::size_t tests = 0, failures = 0, skipped = 0;
    std::string suites;
    for (const SourceVerdict& v : verdicts) {
        std::size_t f = 0, s = 0;
        std::string cases;
        for (const RuleResult& r : v.results) {
            cases += "    <testcase classname=\"" + xmlText(profile.name) + "\" name=\"" + xmlText(r.name) + "\"";
            std::string body;
            std::string rows;
            for (const RuleRow& row : r.rows) rows += rowText(row) + "\n";
            if (r.outcome == Outcome::Failed && r.severity == Severity::Error) {
                ++f;
                body = "      <failure message=\"" +
                       xmlText(std::to_string(r.failures) + (r.failures == 1 ? " failure" : " failures")) +
                       "\" type=\"" + checkKindName(r.kind) + "\">" + xmlText(rows) + "</failure>\n";
            } else if (r.outcome == Outcome::NotEvaluated) {
                ++s;
                body = "      <skipped message=\"" + xmlText("not evaluated: " + r.note) + "\"/>\n";
            } else if (!rows.empty() || r.outcome == Outcome::Failed) {
                // A warning that failed, or a log of changes: shown, not counted as a failure.
                body = "      <system-out>" +
                       xmlText((r.outcome == Outcome::Failed ? "warning: " + std::to_string(r.failures) + " failures\n"
                                                             : std::string()) + rows) +
                       "</system-out>\n";
            }
            cases += body.empty() ? "/>\n" : ">\n" + body + "    </testcase>\n";
        }
        tests += v.results.size();
        failures += f;
        skipped += s;
        suites += strprintf("  <testsuite name=\"%s\" tests=\"%zu\" failures=\"%zu\" errors=\"0\" skipped=\"%zu\">\n",
                            xmlText(v.source).c_str(), v.results.size(), f, s) +
                  cases + "  </testsuite>\n";
    }
    return strprintf("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                     "<testsuites name=\"%s\" tests=\"%zu\" failures=\"%zu\" errors=\"0\" skipped=\"%zu\">\n",
                     xmlText(profile.name).c_str(), tests, failures, skipped) +
           suites + "</testsuites>\n";
}

} // namespace tarvik::profiles
