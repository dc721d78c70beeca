// "DB", "DC", "DW", "DS", "RB" and "RW": data and reserved address space.
#pragma once

void dbDirective();
void dcDirective();
void dwDirective();
void dsDirective();
void rbDirective();
void rwDirective();
