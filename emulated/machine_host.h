// The machine the emulated Windows machine's driver serves: a simulated machine built
// from a description, reached by path, file object and control code instead of through
// the platform interface. The driver's kernel side (emulated/win32/machine_driver.c) is
// C against the DDK headers, so this is its C interface; the simulated drivers and drive
// models behind it are those qir-sim runs (docs/emulated-windows.md).
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Builds the machine from a description's text; 0, or 1 with a one-line reason that
// qir_machine_error returns.
int qir_machine_load(const char* json, size_t size);
const char* qir_machine_error(void);

// The paths the machine answers, as the tool spells them (\\.\PHYSICALDRIVE1, \\.\Scsi2:,
// an interface path): one device object and symbolic link each.
size_t qir_machine_path_count(void);
// UTF-16 without terminator; the number of units, at most `capacity` written.
size_t qir_machine_path(size_t index, uint16_t* buffer, size_t capacity);

// The error every open of path `index` fails with, 0 when opens reach the machine. Wine's
// kernel takes no refusal of an open from a driver: the driver makes the open fail before
// it (no link for 2, a link to nothing for 3), and the installer refuses other errors.
uint32_t qir_machine_path_open_error(size_t index);

// CreateFileW of path `index` with the caller's own arguments: 0 and *handle, or the
// Windows error it fails with.
uint32_t qir_machine_open(size_t index, uint32_t access, uint32_t shareMode, uint32_t disposition,
                          uint32_t flags, intptr_t* handle);
// DeviceIoControl on one buffer of max(in, out) bytes holding the input: 0 and the
// number of bytes the answer fills, or the Windows error.
uint32_t qir_machine_control(intptr_t handle, uint32_t controlCode, void* buffer, uint32_t inSize,
                             uint32_t outSize, uint32_t* returned);
void qir_machine_close(intptr_t handle);

// Writes the state dump (the format of qir-sim --state) with the run's result code, and
// the trace when a path is given (paths UTF-16, without terminator): 0, or the number of
// files that could not be written.
int qir_machine_write(int32_t resultCode, const uint16_t* statePath, size_t stateLength,
                      const uint16_t* tracePath, size_t traceLength);

#ifdef __cplusplus
}
#endif
