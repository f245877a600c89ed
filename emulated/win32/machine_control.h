// The machine driver's control device (\\.\QirMachine) and its two requests, shared by
// the driver and the installer. Buffered, any access; laid out little-endian:
//   load         the description's text, the whole input
//   write state  i32 result code, u32 units of the state path, u32 units of the trace
//                path (0: none), then both paths in UTF-16
#pragma once

#define QIR_MACHINE_CONTROL_DEVICE L"\\Device\\QirMachine"
#define QIR_MACHINE_CONTROL_LINK L"\\DosDevices\\QirMachine"
#define QIR_MACHINE_CONTROL_PATH L"\\\\.\\QirMachine"

#define QIR_MACHINE_LOAD 0x222000u
#define QIR_MACHINE_WRITE_STATE 0x222004u
#define QIR_MACHINE_WRITE_STATE_HEADER 12u
