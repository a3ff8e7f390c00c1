// The event source of the alarms ("Vardex") in the Application log: with
// "EventLog" on, the program registers itself as its message file; with it
// off the registration goes. Failures (no right to the key) are ignored:
// the records are still written, viewers then show only their text.
#pragma once

namespace monitor {

void RegisterAlarmEventSource(bool on);

}  // namespace monitor
