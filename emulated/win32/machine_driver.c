// The machine driver: a Windows kernel-mode driver for tests under Wine, serving one
// machine description (docs/emulated-windows.md). It could never load on a real Windows
// kernel: Wine loads a kernel driver into the user-mode winedevice.exe, as a DLL whose
// imports (the C and C++ runtimes) Wine's loader resolves, which is what lets it run the
// simulated drivers and drive models of qir-sim (emulated/machine_host.h) unchanged.
//
// One device object and symbolic link per path the description answers. IRP_MJ_CREATE
// opens the path on the simulated machine (a per-file-object handle of it); Wine's kernel
// takes no refusal of an open from a driver, so a path every open of which fails gets no
// device (docs/emulated-windows.md). IRP_MJ_DEVICE_CONTROL is answered by the
// simulated machine from the one system buffer of buffered I/O, and only the count it
// returns is copied back (Information).
#include <ntddk.h>

#include "emulated/machine_host.h"
#include "emulated/win32/machine_control.h"

// The image base: the first argument of the loader's call of the entry point.
extern char __ImageBase;
// The C runtime's start-up of a DLL (mingw-w64's dllcrt2): static constructors, atexit.
BOOLEAN WINAPI DllMainCRTStartup(PVOID instance, ULONG reason, PVOID reserved);

// A Windows error as a status the I/O manager turns back into that error
// (FACILITY_NTWIN32); 0 is success.
static NTSTATUS statusOf(uint32_t error) {
    return error ? (NTSTATUS)(0xC0070000u | (error & 0xFFFFu)) : STATUS_SUCCESS;
}

// Which path of the machine a device object answers; -1 for the control device.
typedef struct {
    LONG pathIndex;
} MachineDevice;

static PDRIVER_OBJECT machineDriver;
static FAST_MUTEX machineLock;
// Each load makes its device objects under names of its own.
static unsigned machineLoads;

static NTSTATUS complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

static NTSTATUS createDevice(LONG pathIndex, PCWSTR deviceName, PUNICODE_STRING link) {
    UNICODE_STRING name;
    PDEVICE_OBJECT device;
    RtlInitUnicodeString(&name, deviceName);
    NTSTATUS status = IoCreateDevice(machineDriver, sizeof(MachineDevice), &name, FILE_DEVICE_DISK,
                                     0, FALSE, &device);
    if (!NT_SUCCESS(status))
        return status;
    ((MachineDevice*)device->DeviceExtension)->pathIndex = pathIndex;
    device->Flags |= DO_BUFFERED_IO;
    device->Flags &= ~DO_DEVICE_INITIALIZING;
    // A link of Wine's own (its PhysicalDrive0) gives way to the machine's.
    IoDeleteSymbolicLink(link);
    return IoCreateSymbolicLink(link, &name);
}

// The link of path `index` of the loaded machine: \DosDevices\ and the path past its
// \\.\ or \\?\ (emulated/machine_paths.cpp answers no other form).
static BOOLEAN linkOf(size_t index, WCHAR* text, size_t capacity, UNICODE_STRING* link) {
    static const WCHAR prefix[] = L"\\DosDevices\\";
    const size_t prefixUnits = sizeof(prefix) / sizeof(WCHAR) - 1;
    WCHAR path[1024];
    size_t units = qir_machine_path(index, (uint16_t*)path, 1024);
    if (units < 5 || prefixUnits + units - 4 >= capacity)
        return FALSE;
    RtlCopyMemory(text, prefix, prefixUnits * sizeof(WCHAR));
    RtlCopyMemory(text + prefixUnits, path + 4, (units - 4) * sizeof(WCHAR));
    text[prefixUnits + units - 4] = 0;
    RtlInitUnicodeString(link, text);
    return TRUE;
}

// \Device\QirMachine<load>_<index>
static void deviceNameOf(unsigned load, size_t index, WCHAR* text) {
    static const WCHAR prefix[] = L"\\Device\\QirMachine";
    size_t n = sizeof(prefix) / sizeof(WCHAR) - 1;
    RtlCopyMemory(text, prefix, n * sizeof(WCHAR));
    unsigned long long parts[2] = {load, index};
    for (int p = 0; p < 2; ++p) {
        WCHAR digits[24];
        int d = 0;
        unsigned long long v = parts[p];
        do {
            digits[d++] = (WCHAR)(L'0' + v % 10);
            v /= 10;
        } while (v);
        if (p)
            text[n++] = L'_';
        while (d)
            text[n++] = digits[--d];
    }
    text[n] = 0;
}

// Takes away the devices and links of the machine loaded before, if any.
static void removePathDevices(void) {
    size_t count = qir_machine_path_count();
    for (size_t i = 0; i < count; ++i) {
        WCHAR text[1100];
        UNICODE_STRING link;
        if (linkOf(i, text, 1100, &link))
            IoDeleteSymbolicLink(&link);
    }
    PDEVICE_OBJECT device = machineDriver->DeviceObject;
    while (device) {
        PDEVICE_OBJECT next = device->NextDevice;
        if (((MachineDevice*)device->DeviceExtension)->pathIndex >= 0)
            IoDeleteDevice(device);
        device = next;
    }
}

// Device objects and links for every path of the loaded machine.
static NTSTATUS createPathDevices(void) {
    // Wine's own disk would answer \\.\PHYSICALDRIVE0 on a machine without a disk 0.
    UNICODE_STRING wineDisk;
    RtlInitUnicodeString(&wineDisk, L"\\DosDevices\\PhysicalDrive0");
    IoDeleteSymbolicLink(&wineDisk);

    ++machineLoads;
    size_t count = qir_machine_path_count();
    for (size_t i = 0; i < count; ++i) {
        WCHAR text[1100];
        WCHAR deviceName[64];
        UNICODE_STRING link;
        if (!linkOf(i, text, 1100, &link))
            return STATUS_OBJECT_NAME_INVALID;
        // Wine's kernel opens the file whatever IRP_MJ_CREATE answers, so an open that
        // always fails must fail before it: without a link (ERROR_FILE_NOT_FOUND), or
        // through one to a name that is not there (ERROR_PATH_NOT_FOUND).
        uint32_t openError = qir_machine_path_open_error(i);
        if (openError == 2)
            continue;
        if (openError == 3) {
            UNICODE_STRING nowhere;
            RtlInitUnicodeString(&nowhere, L"\\Device\\QirMachineNowhere\\x");
            IoDeleteSymbolicLink(&link);
            NTSTATUS status = IoCreateSymbolicLink(&link, &nowhere);
            if (!NT_SUCCESS(status))
                return status;
            continue;
        }
        deviceNameOf(machineLoads, i, deviceName);
        NTSTATUS status = createDevice((LONG)i, deviceName, &link);
        if (!NT_SUCCESS(status))
            return status;
    }
    return STATUS_SUCCESS;
}

static NTSTATUS openPath(PIRP irp, PIO_STACK_LOCATION stack, LONG pathIndex) {
    PFILE_OBJECT file = stack->FileObject;
    file->FsContext2 = NULL;
    // A name below the device (\\.\PHYSICALDRIVE1\x) names nothing the machine holds.
    if (file->FileName.Length)
        return complete(irp, statusOf(2), 0);
    // Wine's kernel passes the share mode and the create options on, but neither the
    // access asked for (no SecurityContext), the disposition nor the attributes: the
    // open is taken as the tool makes every one (read and write, an existing device),
    // and as overlapped when it is not synchronous.
    const uint32_t access = 0x80000000u | 0x40000000u; // GENERIC_READ | GENERIC_WRITE
    const uint32_t openExisting = 3;
    uint32_t flags = 0;
    if (!(stack->Parameters.Create.Options &
          (FILE_SYNCHRONOUS_IO_ALERT | FILE_SYNCHRONOUS_IO_NONALERT)))
        flags |= 0x40000000u; // FILE_FLAG_OVERLAPPED
    intptr_t handle = -1;
    ExAcquireFastMutex(&machineLock);
    uint32_t error =
        qir_machine_open((size_t)pathIndex, access, stack->Parameters.Create.ShareAccess,
                         openExisting, flags, &handle);
    ExReleaseFastMutex(&machineLock);
    if (!error)
        file->FsContext2 = (PVOID)handle;
    return complete(irp, statusOf(error), 0);
}

static NTSTATUS control(PIRP irp, PIO_STACK_LOCATION stack) {
    ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
    ULONG inSize = stack->Parameters.DeviceIoControl.InputBufferLength;
    const uint8_t* in = irp->AssociatedIrp.SystemBuffer;
    NTSTATUS status;
    ExAcquireFastMutex(&machineLock);
    if (code == QIR_MACHINE_LOAD) {
        // A new machine takes the place of the one before: one prefix serves many.
        removePathDevices();
        status = qir_machine_load((const char*)in, inSize) ? statusOf(13) // ERROR_INVALID_DATA
                                                           : createPathDevices();
    } else if (code == QIR_MACHINE_WRITE_STATE && inSize >= QIR_MACHINE_WRITE_STATE_HEADER) {
        int32_t result;
        uint32_t stateUnits, traceUnits;
        RtlCopyMemory(&result, in, 4);
        RtlCopyMemory(&stateUnits, in + 4, 4);
        RtlCopyMemory(&traceUnits, in + 8, 4);
        if ((uint64_t)QIR_MACHINE_WRITE_STATE_HEADER + 2ull * stateUnits + 2ull * traceUnits >
                inSize ||
            !stateUnits)
            status = statusOf(87); // ERROR_INVALID_PARAMETER
        else {
            uint16_t* paths = ExAllocatePool(PagedPool, 2ull * (stateUnits + traceUnits) + 2);
            if (!paths)
                status = STATUS_INSUFFICIENT_RESOURCES;
            else {
                RtlCopyMemory(paths, in + QIR_MACHINE_WRITE_STATE_HEADER,
                              2ull * (stateUnits + traceUnits));
                status = qir_machine_write(result, paths, stateUnits, paths + stateUnits,
                                           traceUnits)
                             ? statusOf(29) // ERROR_WRITE_FAULT
                             : STATUS_SUCCESS;
                ExFreePool(paths);
            }
        }
    } else {
        status = statusOf(1); // ERROR_INVALID_FUNCTION
    }
    ExReleaseFastMutex(&machineLock);
    return complete(irp, status, 0);
}

static NTSTATUS WINAPI dispatch(PDEVICE_OBJECT device, PIRP irp) {
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    LONG pathIndex = ((MachineDevice*)device->DeviceExtension)->pathIndex;
    PFILE_OBJECT file = stack->FileObject;
    switch (stack->MajorFunction) {
    case IRP_MJ_CREATE:
        if (pathIndex < 0)
            return complete(irp, STATUS_SUCCESS, 0);
        return openPath(irp, stack, pathIndex);
    case IRP_MJ_CLEANUP:
        return complete(irp, STATUS_SUCCESS, 0);
    case IRP_MJ_CLOSE:
        if (file && file->FsContext2) {
            ExAcquireFastMutex(&machineLock);
            qir_machine_close((intptr_t)file->FsContext2);
            ExReleaseFastMutex(&machineLock);
            file->FsContext2 = NULL;
        }
        return complete(irp, STATUS_SUCCESS, 0);
    case IRP_MJ_DEVICE_CONTROL:
        if (pathIndex < 0)
            return control(irp, stack);
        {
            ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
            ULONG inSize = stack->Parameters.DeviceIoControl.InputBufferLength;
            ULONG outSize = stack->Parameters.DeviceIoControl.OutputBufferLength;
            // Only buffered requests are answered: everything the tool sends is one.
            if ((code & 3) != METHOD_BUFFERED || !file || !file->FsContext2)
                return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
            uint32_t returned = 0;
            ExAcquireFastMutex(&machineLock);
            uint32_t error =
                qir_machine_control((intptr_t)file->FsContext2, code,
                                    irp->AssociatedIrp.SystemBuffer, inSize, outSize, &returned);
            ExReleaseFastMutex(&machineLock);
            return complete(irp, statusOf(error), error ? 0 : returned);
        }
    default:
        return complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
    }
}

static NTSTATUS startDriver(PDRIVER_OBJECT driver) {
    machineDriver = driver;
    ExInitializeFastMutex(&machineLock);
    for (int i = 0; i <= IRP_MJ_MAXIMUM_FUNCTION; ++i)
        driver->MajorFunction[i] = dispatch;
    UNICODE_STRING link;
    RtlInitUnicodeString(&link, QIR_MACHINE_CONTROL_LINK);
    return createDevice(-1, QIR_MACHINE_CONTROL_DEVICE, &link);
}

// The image's one entry point is called twice under Wine: by the loader as a DLL's entry,
// with the image base, when the C runtime must start; then by the kernel as DriverEntry.
NTSTATUS WINAPI DriverEntry(PVOID first, ULONG_PTR second, PVOID third) {
    if (first == (PVOID)&__ImageBase)
        return DllMainCRTStartup(first, (ULONG)second, third);
    (void)third;
    return startDriver((PDRIVER_OBJECT)first);
}
