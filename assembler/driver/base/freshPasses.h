// The reference the tests compare the passes' shortcuts against.
#pragma once

// Whether ORBANT_FRESH_PASSES is set (to anything but nothing): then every
// pass scans every token one at a time, as it reads it, and reads every
// statement, instead of scanning tokens ahead, delivering them again from
// an earlier pass's records and serving statements an earlier pass kept.
bool freshPasses();
