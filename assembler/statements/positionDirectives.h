// Label definitions, "ORG", "PHASE", "DEPHASE" and "CPU".
#pragma once

void defineLabel();
void orgDirective();
void phaseDirective();
void dephaseDirective();
void cpuDirective();
