; hello.asm - a 16 KiB MSX cartridge that greets the user.
;
; Assemble with:  orbant hello.asm hello.rom
; The image starts at 4000H: the cartridge header, then the program, then
; padding up to 8000H.

        INCLUDE "bios.asm"

        ORG 4000H, 7FFFH
header: DB "AB"                 ; cartridge signature
        DW start                ; INIT: called by the BIOS at boot
        DW 0, 0, 0              ; STATEMENT, DEVICE, TEXT: unused
        DS 6                    ; reserved

start:  CALL INITXT             ; SCREEN 0 with its 40-column text
        LD HL, message
        CALL print
.wait:  HALT                    ; nothing more to do: idle until reset
        JR .wait

; Prints the zero-terminated text at HL.
print:  LD A, (HL)
        OR A
        RET Z
        CALL CHPUT
        INC HL
        JR print

message:
        DB "Hello from orbant!", 13, 10
        DB "Assembled for MSX.", 0

        DS 8000H - $, 0FFH      ; fill the 16 KiB page
