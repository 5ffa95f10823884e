#include "core/frame.h"
#include "core/record_source.h"
#include "decode/layout_loader.h"
#include "decode/wireshark_lua.h"
#include "expr/expression.h"
#include "expr/fields.h"
#include "expr/predicate.h"
#include "expr/value.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace tarvik;
using namespace tarvik::expr;

namespace {

const LayoutCatalogue& builtIn() {
    static const LoadedDefinitions defs = loadLayouts({}, false);
    return defs.catalogue;
}

const FieldNames& names() {
    static const FieldNames n(builtIn());
    return n;
}

// A bathymetry record (7027) with one detection block per quality given.
Bytes bathymetry(std::vector<std::uint32_t> qualities, std::uint32_t device = 7125, std::uint16_t enumerator = 0,
                 bool checksum = true) {
    FrameBuilder b(7027);
    b.device(device, enumerator).checksum(checksum);
    ByteWriter& d = b.data();
    d.u64(1234).u32(77).u16(0).u32(static_cast<std::uint32_t>(qualities.size())).u32(34).u8(1).u32(0);
    d.put(12000.0f).put(0.0f).put(0.0f);
    for (int i = 0; i < 60; ++i) d.u8(0);
    std::uint16_t beam = 0;
    for (const std::uint32_t q : qualities) {
        d.u16(beam++).put(100.5f).put(0.1f).u32(0).u32(q).put(0.5f).put(-30.0f).put(0.0f).put(500.0f);
    }
    return b.build();
}

Bytes plain(std::uint32_t type, std::uint32_t device = 7125, std::uint16_t enumerator = 0) {
    FrameBuilder b(type);
    b.device(device, enumerator);
    for (int i = 0; i < 16; ++i) b.data().u8(0);
    return b.build();
}

std::shared_ptr<const FieldPredicate> compiled(std::string_view text) {
    auto p = compilePredicate(text, builtIn());
    EXPECT_TRUE(p.ok()) << text << ": " << p.error();
    return p.ok() ? *p : nullptr;
}

bool passes(std::string_view text, const Bytes& frame, RecordContext context = {}) {
    auto p = compiled(text);
    return p && p->matches(frame, context);
}

std::string parseError(std::string_view text) {
    auto e = Expression::parse(text, names());
    return e.ok() ? std::string("(parsed)") : e.error();
}

} // namespace

TEST(FieldNames, EveryDissectorFieldHasANameAndHeaderFieldsAreThere) {
    std::size_t layoutFields = 0;
    for (const FieldInfo& f : names().all()) layoutFields += f.source == FieldSource::Layout;
    EXPECT_EQ(layoutFields, wiresharkFields(builtIn()).size());
    for (const WiresharkField& w : wiresharkFields(builtIn())) EXPECT_NE(names().find(w.filter), nullptr) << w.filter;

    const FieldInfo* n = names().find("7027.number_of_detection_points");
    ASSERT_NE(n, nullptr);
    EXPECT_EQ(n->name, "vx.7027.number_of_detection_points");
    EXPECT_FALSE(n->repeated);
    const FieldInfo* q = names().find("vx.7027.quality");
    ASSERT_NE(q, nullptr);
    EXPECT_TRUE(q->repeated);
    EXPECT_EQ(names().find("vx.7027.rx_angle_deg")->unit, "deg");
    EXPECT_EQ(names().find("vx.7027.sample_rate_hz")->unit, "Hz");

    for (const char* h : {"vx.record_type", "vx.device", "vx.enumerator", "vx.time", "vx.size", "vx.record_counter",
                          "vx.counter", "vx.checksum.ok", "row", "capture.stream"})
        EXPECT_NE(names().find(h), nullptr) << h;

    // A part that several record types have is no short form; a unique one is.
    std::vector<std::string> ambiguous;
    EXPECT_EQ(names().find("ping_number", &ambiguous), nullptr);
    EXPECT_GT(ambiguous.size(), 1u);
    EXPECT_NE(names().find("applied_gate_roll_deg"), nullptr);
}

TEST(ExpressionParse, RefusesBadInputWithAPlaceAndAGuess) {
    const std::string unknown = parseError("7027 && 7027.qualty > 2");
    EXPECT_NE(unknown.find("unknown field \"7027.qualty\""), std::string::npos) << unknown;
    EXPECT_NE(unknown.find("did you mean vx.7027.quality?"), std::string::npos) << unknown;
    EXPECT_NE(unknown.find("at column 9"), std::string::npos) << unknown;
    EXPECT_NE(unknown.find("\n  7027 && 7027.qualty > 2\n          ^"), std::string::npos) << unknown;

    EXPECT_NE(parseError("vx.device == \"7125\"").find("cannot compare a number with a text at column 11"), std::string::npos);
    EXPECT_NE(parseError("capture.stream > 3").find("cannot compare a text with a number"), std::string::npos);
    EXPECT_NE(parseError("vx.device contains \"x\"").find("contains needs a text"), std::string::npos);
    EXPECT_NE(parseError("vx.device ==").find("ends where a value is expected"), std::string::npos);
    EXPECT_NE(parseError("(vx.device == 1").find("expected ')'"), std::string::npos);
    EXPECT_NE(parseError("vx.device + 1").find("a test is needed here"), std::string::npos);
    EXPECT_NE(parseError("ping_number > 1").find("several record types"), std::string::npos);
    EXPECT_NE(parseError("capture.stream matches \"(a\"").find("bad pattern"), std::string::npos);
    EXPECT_NE(parseError("capture.stream matches \"(a)\\\\1\"").find("bad pattern"), std::string::npos);
    EXPECT_NE(parseError("vx.device == 1 $").find("unexpected character '$'"), std::string::npos);
    EXPECT_NE(parseError("\"abc").find("closing quote"), std::string::npos);

    // Bounded: depth and length are refused, not recursed into.
    EXPECT_NE(parseError(std::string(100000, '(')).find("longer than"), std::string::npos);
    EXPECT_NE(parseError(std::string(1000, '(') + "1").find("nested too deeply"), std::string::npos);
    EXPECT_NE(parseError(std::string(1000, '!') + "1").find("nested too deeply"), std::string::npos);
    std::string wide = "1";
    for (int i = 0; i < 1100; ++i) wide += "||1";
    EXPECT_NE(parseError(wide).find("too long"), std::string::npos);
}

TEST(ExpressionParse, RecordTypeTextsAreTakenAsTheyAlwaysWere) {
    EXPECT_TRUE(isRecordTypeText("ALL RECORDS"));
    EXPECT_TRUE(isRecordTypeText("7000; 7004"));
    EXPECT_TRUE(isRecordTypeText("7027"));
    EXPECT_FALSE(isRecordTypeText("7027 && vx.device == 1"));
    EXPECT_FALSE(isRecordTypeText("all records"));

    // "7000; 7004" keeps matching by digits: 700 occurs in it, 7005 does not.
    auto f = compileFilter("7000; 7004", builtIn());
    ASSERT_TRUE(f.ok());
    EXPECT_TRUE(f->byTypeOnly());
    EXPECT_TRUE(f->passes(plain(7000)));
    EXPECT_TRUE(f->passes(plain(700)));
    EXPECT_FALSE(f->passes(plain(7005)));
}

TEST(ExpressionEval, HeaderFieldsAndRecordTypeShorthand) {
    const Bytes a = plain(7000, 7125, 1), b = plain(7000, 7125, 0), c = plain(7004, 20, 1);
    const char* both = "vx.device == 7125 && vx.enumerator == 1";
    EXPECT_TRUE(passes(both, a));
    EXPECT_FALSE(passes(both, b));
    EXPECT_FALSE(passes(both, c));
    EXPECT_TRUE(passes("vx.device == 7125 and not vx.enumerator == 1", b));
    EXPECT_TRUE(passes("7000 || 7004", c));
    EXPECT_FALSE(passes("7000 && vx.device != 7125", a));
    EXPECT_TRUE(passes("vx.enumerator in {0, 2..4} || vx.device in {1, 20}", c));
    EXPECT_FALSE(passes("vx.enumerator in {0, 2..4}", a));
    EXPECT_TRUE(passes("vx.size == 64 + 16 + 4", a));
    EXPECT_TRUE(passes("vx.size / 0 == 1 || vx.size % 7 == 84 % 7", a));  // no value from / 0: the test fails
    EXPECT_TRUE(passes("vx.flags & 1", a));
    EXPECT_TRUE(passes("row == 12", a, {12, nullptr}));

    RecordOrigin origin;
    origin.seconds = 1700000000;
    origin.stream = "TCP 10.0.0.1:7000 -> 10.0.0.2:51234";
    EXPECT_TRUE(passes("capture.stream contains \"10.0.0.1:7000\"", a, {1, &origin}));
    EXPECT_TRUE(passes("capture.stream matches \"^TCP .*:7000 \"", a, {1, &origin}));
    EXPECT_FALSE(passes("capture.stream contains \"10.0.0.1\"", a));  // not from a capture
    EXPECT_TRUE(passes("capture.time > 1699999999.5", a, {1, &origin}));
}

TEST(ExpressionEval, ChecksumVerdict) {
    Bytes good = plain(7000), bad = plain(7000), none = bathymetry({1}, 7125, 0, false);
    bad[70] ^= 1;
    EXPECT_TRUE(passes("vx.checksum.ok", good));
    EXPECT_FALSE(passes("vx.checksum.ok", bad));
    EXPECT_TRUE(passes("vx.checksum.bad", bad));
    // No checksum claimed: neither ok nor bad.
    EXPECT_FALSE(passes("vx.checksum.ok", none));
    EXPECT_FALSE(passes("vx.checksum.bad", none));
    EXPECT_FALSE(passes("vx.checksum.ok == false", none));
    EXPECT_TRUE(passes("vx.checksum.ok == false", bad));
}

TEST(ExpressionEval, LayoutFieldsRepeatsAndCounts) {
    const Bytes few = bathymetry({1, 2, 3}), many = bathymetry(std::vector<std::uint32_t>(120, 1));
    EXPECT_TRUE(passes("7027 && 7027.number_of_detection_points > 100", many));
    EXPECT_FALSE(passes("7027 && 7027.number_of_detection_points > 100", few));
    EXPECT_FALSE(passes("7027.number_of_detection_points > 100", plain(7000)));
    EXPECT_TRUE(passes("not 7027.number_of_detection_points > 100", plain(7000)));
    EXPECT_TRUE(passes("7027.sample_rate_hz == 12000", few));
    EXPECT_TRUE(passes("applied_gate_roll_deg == 0", few));

    // An unindexed repeated field: any occurrence; indexed: that one.
    EXPECT_TRUE(passes("7027.quality > 2", few));
    EXPECT_FALSE(passes("7027.quality > 3", few));
    EXPECT_TRUE(passes("7027.quality[2] == 3 && 7027.quality[0] == 1", few));
    EXPECT_FALSE(passes("7027.quality[3] == 3", few));
    EXPECT_TRUE(passes("any(7027.quality > 2)", few));
    EXPECT_FALSE(passes("all(7027.quality > 1)", few));
    EXPECT_TRUE(passes("all(7027.quality >= 1 && 7027.beam_descriptor < 3)", few));
    EXPECT_TRUE(passes("count(7027.quality > 1) == 2", few));
    EXPECT_TRUE(passes("count(7027.quality) == 3", few));
    EXPECT_TRUE(passes("count(7027.quality) == 0", bathymetry({})));
    EXPECT_FALSE(passes("any(7027.quality > 0)", bathymetry({})));
    EXPECT_FALSE(passes("all(7027.quality > 0)", bathymetry({})));
    EXPECT_TRUE(passes("7027.quality", few));
    // Degrees as the report shows them.
    EXPECT_TRUE(passes("7027.rx_angle_deg > 5.7 && 7027.rx_angle_deg < 5.8", few));
}

TEST(ExpressionEval, AWalkThatDoesNotReachAFieldDoesNotMatch) {
    Bytes cut = bathymetry({1, 2, 3});
    cut.resize(64 + 20);  // the record ends inside its first fields
    auto p = compiled("not 7027.sample_rate_hz == 5");
    ASSERT_TRUE(p);
    const Verdict v = p->judge(cut);
    EXPECT_FALSE(v.matches);
    EXPECT_TRUE(v.unreached);
    EXPECT_TRUE(p->judge(bathymetry({1})).matches);
}

TEST(ExpressionEval, TheRecordTypeDecidesWhereItCan) {
    auto p = compiled("7027 && 7027.number_of_detection_points > 100");
    bool passesType = true;
    EXPECT_TRUE(p->decidedByType(7000, passesType));
    EXPECT_FALSE(passesType);
    EXPECT_FALSE(p->decidedByType(7027, passesType));
    auto q = compiled("7000 || vx.record_type in {7004, 7006}");
    EXPECT_TRUE(q->decidedByType(7006, passesType));
    EXPECT_TRUE(passesType);
    auto h = compiled("vx.device == 7125");
    EXPECT_FALSE(h->decidedByType(7000, passesType));
}

TEST(ExpressionEval, HostilePatternsTakeNoExponentialTime) {
    auto p = compiled("capture.stream matches \"^(a+)+$\"");
    RecordOrigin origin;
    origin.stream = std::string(4000, 'a') + "b";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(p->matches(plain(7000), {1, &origin}));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

namespace {

std::vector<Value> valuesOf(std::string_view text, const Bytes& frame) {
    auto v = ValueExpression::compile(text, builtIn());
    EXPECT_TRUE(v.ok()) << text << ": " << v.error();
    return v.ok() ? (*v)->values(frame) : std::vector<Value>{};
}

std::vector<double> numbersOf(std::string_view text, const Bytes& frame) {
    std::vector<double> out;
    for (const Value& v : valuesOf(text, frame)) {
        EXPECT_EQ(v.type, ValueType::Number) << text;
        out.push_back(v.number);
    }
    return out;
}

std::string shownOf(std::string_view text, const Bytes& frame) {
    auto v = ValueExpression::compile(text, builtIn());
    EXPECT_TRUE(v.ok()) << text << ": " << v.error();
    return v.ok() ? (*v)->shown(frame) : "(not compiled)";
}

using Numbers = std::vector<double>;

} // namespace

TEST(ValueExpression, FieldsRepeatsArithmeticAndCounts) {
    const Bytes few = bathymetry({1, 2, 3});
    EXPECT_EQ(numbersOf("7027.number_of_detection_points", few), Numbers{3});
    EXPECT_EQ(numbersOf("7027.number_of_detection_points * 2 + 1", few), Numbers{7});
    // A repeated field: each occurrence, or the one indexed.
    EXPECT_EQ(numbersOf("7027.quality", few), (Numbers{1, 2, 3}));
    EXPECT_EQ(numbersOf("7027.quality * 10", few), (Numbers{10, 20, 30}));
    EXPECT_EQ(numbersOf("7027.quality[1]", few), Numbers{2});
    EXPECT_EQ(numbersOf("7027.quality[7]", few), Numbers{});
    EXPECT_EQ(numbersOf("count(7027.quality > 1)", few), Numbers{2});
    EXPECT_EQ(numbersOf("count(7027.quality)", bathymetry({})), Numbers{0});
    EXPECT_EQ(numbersOf("7027.quality", bathymetry({})), Numbers{});

    const auto tests = valuesOf("7027.quality > 1", few);
    ASSERT_EQ(tests.size(), 3u);
    EXPECT_EQ(tests[0].type, ValueType::Bool);
    EXPECT_FALSE(tests[0].truth);
    EXPECT_TRUE(tests[2].truth);

    EXPECT_EQ(shownOf("7027.quality", few), "1, 2, 3");
    EXPECT_EQ(shownOf("7027.quality > 1", few), "false, true, true");
    EXPECT_EQ(shownOf("7027.sample_rate_hz / 4", few), "3000");
    EXPECT_EQ(shownOf("vx.device", few), "7125");
}

TEST(ValueExpression, NoValueWhereTheRecordLacksIt) {
    // Another record type: no value, not zero and not false.
    EXPECT_EQ(numbersOf("7027.number_of_detection_points", plain(7000)), Numbers{});
    EXPECT_EQ(numbersOf("count(7027.quality > 2)", plain(7000)), Numbers{});
    EXPECT_TRUE(valuesOf("7027.quality > 2", plain(7000)).empty());
    EXPECT_EQ(shownOf("7027.quality", plain(7000)), "");
    EXPECT_EQ(numbersOf("vx.device / 0", plain(7000)), Numbers{});
    // A walk that ends before the field: no value.
    Bytes cut = bathymetry({1, 2, 3});
    cut.resize(64 + 20);
    EXPECT_EQ(numbersOf("7027.sample_rate_hz", cut), Numbers{});
    EXPECT_TRUE(valuesOf("vx.device", Bytes(10, 0)).empty());  // no frame at all
    // No checksum claimed: no verdict.
    EXPECT_TRUE(valuesOf("vx.checksum.ok", bathymetry({1}, 7125, 0, false)).empty());
    ASSERT_EQ(valuesOf("vx.checksum.ok", plain(7000)).size(), 1u);
    EXPECT_TRUE(valuesOf("vx.checksum.ok", plain(7000))[0].truth);
    // Header fields: every record.
    EXPECT_EQ(numbersOf("vx.device", plain(7000, 20)), Numbers{20});
    EXPECT_EQ(numbersOf("vx.enumerator + 1", plain(7004, 20, 3)), Numbers{4});
}

TEST(ValueExpression, ShowsFieldsAsTheReportDoes) {
    const Bytes few = bathymetry({1, 2, 3});
    // The report's own text of a float and of the time stamp, not a bare number.
    const std::string rate = shownOf("7027.sample_rate_hz", few);
    EXPECT_EQ(rate.rfind("12000", 0), 0u) << rate;
    FrameBuilder timed(7000);
    timed.time(VxTIME{2024, 100, 0.5f, 10, 20});
    const std::string time = shownOf("vx.time", timed.build());
    EXPECT_NE(time.find('/'), std::string::npos) << time;
    EXPECT_NE(time.find(':'), std::string::npos) << time;

    EXPECT_EQ(numberText(0.1), "0.1");
    EXPECT_EQ(numberText(1e20), "1e+20");
    EXPECT_EQ(numberText(-3), "-3");
}

TEST(ValueExpression, ParseErrorsAndAFieldAloneIsItsValue) {
    auto bad = ValueExpression::compile("7027.qualty * 2", builtIn());
    ASSERT_FALSE(bad.ok());
    EXPECT_NE(bad.error().find("did you mean vx.7027.quality?"), std::string::npos) << bad.error();
    EXPECT_FALSE(ValueExpression::compile("vx.device +", builtIn()).ok());
    EXPECT_FALSE(ValueExpression::compile("", builtIn()).ok());
    auto number = ValueExpression::compile("7027.number_of_detection_points", builtIn());
    ASSERT_TRUE(number.ok());
    EXPECT_EQ((*number)->type(), ValueType::Number);  // not "does the record hold it"
    auto text = ValueExpression::compile("capture.stream", builtIn());
    ASSERT_TRUE(text.ok());
    EXPECT_EQ((*text)->type(), ValueType::Text);
}

#include "decode/remote_definitions.h"
#include "decode/report.h"
#include "expr/report_fields.h"

namespace {

// A record's report lines and the items walked for them, as the report list has them.
struct Reported {
    std::vector<std::string> lines;
    std::vector<WalkedField> walked;
    std::size_t lineStarting(std::string_view start, std::size_t nth = 0) const {
        for (std::size_t i = 0; i < lines.size(); ++i)
            if (lines[i].rfind(start, 0) == 0 && nth-- == 0) return i;
        ADD_FAILURE() << "no line starts with " << start;
        return 0;
    }
};

Reported reported(const Bytes& frame) {
    static NoRemoteCommandDefinitions commands;
    static RecordReporter reporter(builtIn(), commands);
    Reported r;
    reporter.collectFields(&r.walked);
    r.lines = reporter.report(frame, 0).lines;
    reporter.collectFields(nullptr);
    return r;
}

} // namespace

TEST(ReportLineFields, LinesNameTheirFieldAndAFilterThatPassesTheRecord) {
    const Bytes frame = bathymetry({5, 6, 7}, 20, 2);
    const Reported r = reported(frame);
    auto fieldAt = [&](std::size_t line) { return fieldOfReportLine(names(), frame, r.lines, r.walked, line); };
    auto filterAt = [&](std::size_t line) { return filterOfReportLine(names(), frame, r.lines, r.walked, line); };

    const auto count = fieldAt(r.lineStarting("Number of detection Points"));
    ASSERT_TRUE(count);
    EXPECT_EQ(count->name, "7027.number_of_detection_points");
    EXPECT_FALSE(count->occurrence);
    EXPECT_EQ(filterAt(r.lineStarting("Number of detection Points")), "7027.number_of_detection_points == 3");

    // The third block's quality: the third occurrence; the filter asks any occurrence for the value.
    const auto third = fieldAt(r.lineStarting("Quality", 2));
    ASSERT_TRUE(third);
    EXPECT_EQ(third->name, "7027.quality");
    EXPECT_EQ(third->occurrence, 2u);
    EXPECT_EQ(filterAt(r.lineStarting("Quality", 2)), "7027.quality == 7");
    EXPECT_EQ(filterAt(r.lineStarting("Rx Angle")).value_or("").rfind("7027.rx_angle_deg == 5.72", 0), 0u);

    // Header lines.
    EXPECT_EQ(filterAt(r.lineStarting("   Device")), "vx.device == 20");
    EXPECT_EQ(filterAt(r.lineStarting("   Size")), "vx.size == " + std::to_string(frame.size()));
    // Titles and blanks name nothing.
    EXPECT_FALSE(fieldAt(r.lineStarting("Record type")));
    EXPECT_FALSE(fieldAt(r.lineStarting(" ")));
    EXPECT_FALSE(fieldAt(r.lines.size()));

    // Every filter offered compiles and passes the record it came from.
    for (std::size_t line = 0; line < r.lines.size(); ++line)
        if (auto text = filterAt(line)) {
            EXPECT_TRUE(passes(*text, frame)) << *text;
        }
}

TEST(ReportLineFields, TextsAreQuotedSoTheyReadBack) {
    EXPECT_EQ(quotedText("a\"b\\c\nd"), "\"a\\\"b\\\\c\\nd\"");
    auto e = Expression::parseValue(quotedText("a\"b\\c\nd"), names());
    ASSERT_TRUE(e.ok()) << e.error();
    EXPECT_EQ(e->root().text, "a\"b\\c\nd");
}
