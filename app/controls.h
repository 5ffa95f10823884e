#pragma once
// Control numbers of the main form, menu command numbers and timer identifiers.

namespace tarvik::controls {

inline constexpr int kStartCommunicating = 1004;
inline constexpr int kPause = 1002;
inline constexpr int kStopVolatileConnections = 1007;
inline constexpr int kWriteOutputFile = 1009;
inline constexpr int kSendRequestRecords = 1008;
inline constexpr int kOutputFileLabel = 1051;
inline constexpr int kRecordFilter = 1043;
inline constexpr int kTransportLabel = 1069;
inline constexpr int kRequestOneLabel = 1073;
inline constexpr int kRequestOneNumber = 1010;
inline constexpr int kRequestOneButton = 1012;
inline constexpr int kDisableInitialSubscription = 1074;
inline constexpr int kButton1010 = 1048;
inline constexpr int kRecordList = 1001;
inline constexpr int kChooseDevice = 1014;
inline constexpr int kDevicesFound = 1044;
inline constexpr int kAddress = 1078;
inline constexpr int kPort = 1049;
inline constexpr int kReportList = 1003;
inline constexpr int kSendRemoteControl = 1015;
inline constexpr int kRemoteCommand = 1017;
inline constexpr int kSonarsForCommand = 1059;
inline constexpr int kTicket = 1018;
inline constexpr int kTrackingNumber = 1019;
inline constexpr int kHeadPort = 1087;
inline constexpr int kHeadStarboard = 1088;
inline constexpr int kHeadBoth = 1089;
inline constexpr int kEchogram = 1255;
// The remote panel's line that stands in for the parameter rows ("Choose a
// command" before a choice), and the table of those rows with its headings.
inline constexpr int kRemoteCommandHint = 1256;
inline constexpr int kParameterTable = 1257;
// The filter expression box under the record filter, and the line beside it
// that says why an expression does not compile (hidden while none is wrong).
inline constexpr int kFilterExpression = 1258;
inline constexpr int kFilterProblem = 1259;

} // namespace tarvik::controls

namespace tarvik::commands {

inline constexpr int kReadVxFile = 32773;
inline constexpr int kAssignOutputFolder = 32774;
inline constexpr int kSetupCondensedFile = 32783;
inline constexpr int kCopyToCondensedFile = 32782;
inline constexpr int kLimitRecords = 32784;
inline constexpr int kExit = 32776;
inline constexpr int kPrintRecord = 32771;
inline constexpr int kPrintCurrentRecord = 32777;
inline constexpr int kWriteCurrentRecord = 32778;
inline constexpr int kDumpAllShown = 32780;
inline constexpr int kCloseTextOutput = 32779;
inline constexpr int kPlayScript = 32786;

} // namespace tarvik::commands

namespace tarvik::timers {

inline constexpr int kArrival = 19191;
inline constexpr unsigned kArrivalPeriodMs = 153;

} // namespace tarvik::timers
