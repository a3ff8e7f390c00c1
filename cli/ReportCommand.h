// `stavrion report [--machine DIR|demo] [--json]`: discovers the disks of
// the real machine or a simulated one and prints what the panel and the
// attribute list show (or every field as JSON). Exit status: 0 disks found,
// 1 no disk, 2 usage or machine error.
#pragma once

int RunReportCommand(int argc, char** argv);
