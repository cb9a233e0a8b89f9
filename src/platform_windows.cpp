// What is particular to Windows: the result file's lock, the console's encoding, stop requests and the pause.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <iostream>

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
// The result file's handle, the run's hold on it to the end, and which
// standard handles are that file too.
static HANDLE hold = INVALID_HANDLE_VALUE;
static const DWORD standard_handles[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE,
    STD_ERROR_HANDLE};
static bool is_claimed_file[3];

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

void
catch_stop_signals()
{
	listing = true;
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
// mask is inherited. A missing console is one that failed. The handler
// stays for the whole run, so that a request at the prompt or the pause
// ends it as interrupted too; removing it while it runs would wait for it,
// on Wine at least.
bool
guard_process()
{
	if (GetStdHandle(STD_OUTPUT_HANDLE) == nullptr)
		std::cout.setstate(std::ios::badbit);
	return SetConsoleCtrlHandler(note_stop, TRUE);
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

// Read and write, so that every host's lock is exclusive, Wine's too. The
// file is shared with the stream and any reader, but not for deletion: the
// name leads to it until the run ends. A file system that cannot lock at
// all still lets a single run work, and a device with no index, such as
// the null device, is no one's input.
claim_outcome
claim_file(const char *path)
{
	hold = CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
	    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
	    FILE_ATTRIBUTE_NORMAL, nullptr);
	if (hold == INVALID_HANDLE_VALUE)
		return claim_failed;
	FILE_ID_INFO id;
	bool known = GetFileInformationByHandleEx(hold, FileIdInfo, &id,
	    sizeof id);
	for (int i = 0; i < 3; i++)
		is_claimed_file[i] = known && same_file(id, standard_handles[i]);
	OVERLAPPED far_away = {};
	far_away.OffsetHigh = lock_offset_high;
	if (!LockFileEx(hold, LOCKFILE_EXCLUSIVE_LOCK |
	    LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &far_away) &&
	    GetLastError() == ERROR_LOCK_VIOLATION)
		return claim_held;
	if (is_claimed_file[0])
		return claim_is_input;
	return is_claimed_file[1] ? claim_is_console : claimed;
}

bool
standard_is_claimed_file(int fd)
{
	return is_claimed_file[fd];
}

// Held without sharing deletion, the file cannot be renamed or removed.
bool
path_is_claimed_file(const char *)
{
	return true;
}

bool
cut_claimed_file(std::int64_t length)
{
	LARGE_INTEGER size, at;
	at.QuadPart = length;
	if (GetFileType(hold) != FILE_TYPE_DISK)
		return hold != INVALID_HANDLE_VALUE;
	if (!GetFileSizeEx(hold, &size))
		return false;
	return size.QuadPart <= length ||
	    (SetFilePointerEx(hold, at, nullptr, FILE_BEGIN) &&
	    SetEndOfFile(hold));
}

std::string
last_error_text()
{
	char text[512];
	DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM |
	    FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, GetLastError(), 0, text,
	    sizeof text, nullptr);
	// The system ends its text with a line end of its own.
	while (length > 0 &&
	    (text[length - 1] == '\r' || text[length - 1] == '\n'))
		length--;
	return std::string(text, length);
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
