// The preprocessing pass: flattens the main source and its includes into
// the flattened text and registers every label definition.
#pragma once

void preprocessSource();
