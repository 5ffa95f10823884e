#pragma once
// A profile's verdicts as people and other tools read them: a line per rule,
// a JSON document, and JUnit XML (one test case per rule, a failure with its
// rows), which continuous-integration servers show as test results.

#include "profiles/rule_checker.h"

#include <string>
#include <vector>

namespace tarvik::profiles {

// The verdicts of one source (a file, a capture, a live address).
struct SourceVerdict {
    std::string source;
    std::vector<RuleResult> results;
    std::vector<std::string> warnings;  // what the check found wrong with the file itself (a few per kind)
};

// "pass  name: note", "FAIL  name: 3 failures; row 12: ...", "n/a   name: why".
std::vector<std::string> resultLines(const std::vector<RuleResult>& results);

// {"profile": ..., "sources": [{"source": ..., "rules": [...]}], "passed": bool}
std::string verdictJson(const Profile& profile, const std::vector<SourceVerdict>& verdicts, int indent = 2);

// <testsuites> with one <testsuite> per source and one <testcase> per rule;
// a failed rule is a <failure> (an error rule) with its rows, a warning that
// failed is a <failure type="warning">, a rule not evaluated is <skipped>.
std::string verdictJUnit(const Profile& profile, const std::vector<SourceVerdict>& verdicts);

} // namespace tarvik::profiles
