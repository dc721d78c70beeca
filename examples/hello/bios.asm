; Entry points of the MSX BIOS used by the example.
CHPUT:  EQU 00A2H       ; print the character in A
INITXT: EQU 006CH       ; switch to SCREEN 0
