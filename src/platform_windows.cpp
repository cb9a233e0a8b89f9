// What is particular to Windows: the result file's lock, the console's encoding, stop requests and the pause.
#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "partitions.h"

// How long a stopped run waits for the console to take its line; well
// within the seconds the system gives a closing console window.
static const DWORD stop_grace_ms = 1000;

// Where the lock on the result file lies: far past any listing, since a
// locked range refuses the writes of every other handle, the stream's too.
static const DWORD lock_offset_high = 0x7FFFFFFF;

std::atomic<int> stop_signal;
const int file_newline_length = 2;
// Whether the loop is running, and so can finish its line on a request.
static std::atomic<bool> listing;

// Runs on a thread the system starts for each Ctrl-C, Ctrl-Break, closed
// window, logoff or shutdown. A second request, or one outside the
// listing, ends the process at once, as the default handler would; the
// first gives the loop a moment to finish its line and close the file,
// and the loop then ends the process itself. It is ended here, not by
// the default handler, whose exit code Wine does not keep.
static BOOL WINAPI
note_stop(DWORD event)
{
	if (stop_signal.exchange(static_cast<int>(event) + 1) == 0 && listing)
		Sleep(stop_grace_ms);
	end_as_interrupted();
	return TRUE;
}

// The handler stays for the rest of the run: removing it while it runs
// would wait for it, on Wine at least.
void
catch_stop_signals()
{
	listing = true;
	SetConsoleCtrlHandler(note_stop, TRUE);
}

void
release_stop_signals()
{
	listing = false;
}

void
end_as_interrupted()
{
	ExitProcess(STATUS_CONTROL_C_EXIT);
}

// The C runtime keeps descriptors 0 to 2 for the standard streams even when
// they are missing, a console that goes away raises no signal, and no
// mask is inherited.
bool
guard_process()
{
	return true;
}

// Whether a standard handle is the file: the same volume and the same index
// there. Wine cannot tell the volume of a handle the host handed it, and
// says 0.
static bool
same_file(const FILE_ID_INFO &file, DWORD standard)
{
	FILE_ID_INFO other;
	return GetFileInformationByHandleEx(GetStdHandle(standard), FileIdInfo,
	    &other, sizeof other) &&
	    std::memcmp(&file.FileId, &other.FileId, sizeof file.FileId) == 0 &&
	    (other.VolumeSerialNumber == file.VolumeSerialNumber ||
	    other.VolumeSerialNumber == 0);
}

// The handle shares the file with every other, the stream's and a reader's
// alike; it stays open, and the lock with it, until the process ends. A
// file system that cannot lock at all still lets a single run work, and a
// device with no index, such as the null device, is no one's input.
bool
claim_result_file(const char *path)
{
	HANDLE file = CreateFileA(path, GENERIC_READ,
	    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
	    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
	if (file == INVALID_HANDLE_VALUE)
		return false;
	OVERLAPPED far_away = {};
	far_away.OffsetHigh = lock_offset_high;
	if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY,
	    0, 1, 0, &far_away) && GetLastError() == ERROR_LOCK_VIOLATION)
		return false;
	FILE_ID_INFO id;
	return !GetFileInformationByHandleEx(file, FileIdInfo, &id, sizeof id) ||
	    (!same_file(id, STD_INPUT_HANDLE) && !same_file(id, STD_OUTPUT_HANDLE));
}

// Big5 is what a code page 950 console shows; a UTF-8 console gets UTF-8.
bool
console_takes_utf8()
{
	return GetConsoleOutputCP() == CP_UTF8;
}

void
pause_console()
{
	std::system("pause");
}
