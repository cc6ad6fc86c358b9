#pragma once

// The names under which the running program serves automation clients on the session bus.
namespace QorLogAutomation {

inline constexpr char ServiceName[] = "QorLog.QorLogCOMServer";
inline constexpr char ObjectPath[] = "/QorLogCOMServer";
inline constexpr char InterfaceName[] = "QorLog.IQorLogCOMServer";
inline constexpr char FailedErrorName[] = "QorLog.Error.Failed";

} // namespace QorLogAutomation
