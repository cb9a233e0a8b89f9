// What is particular to Windows: the result file's hold, the console's encoding, stop requests and the pause.
#include <windows.h>

#include <cerrno>
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

std::atomic<bool> listing;
std::atomic<int> stop_signal;
std::atomic<std::int64_t> whole_length{-1};
bool stream_is_file[3];
const int file_newline_length = 2;
// The result file's handle, the run's hold on it, and which standard
// handles are that file too.
static HANDLE hold = INVALID_HANDLE_VALUE;
static const DWORD standard_handles[] = {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE,
    STD_ERROR_HANDLE};

// Runs on a thread of its own for each Ctrl-C, Ctrl-Break, closed window,
// logoff or shutdown. The first request in the listing gives the loop a
// moment to finish its line, and the loop ends the run itself; any other
// ends it here, not by the default handler, whose exit code Wine drops.
static BOOL WINAPI
note_stop(DWORD event)
{
	if (stop_signal.exchange(static_cast<int>(event) + 1) == 0 && listing)
		Sleep(stop_grace_ms);
	end_as_interrupted();
	return TRUE;
}

void
end_as_interrupted()
{
	ExitProcess(STATUS_CONTROL_C_EXIT);
}

// The C runtime keeps descriptors 0 to 2 even for missing standard streams,
// a console that goes away raises no signal, and no mask is inherited. The
// handler stays for the whole run: removing it would wait for it on Wine.
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

// A device with no index, such as the null device, is no one's file.
static void
mark_streams(HANDLE file)
{
	FILE_ID_INFO id;
	bool known = file != INVALID_HANDLE_VALUE &&
	    GetFileInformationByHandleEx(file, FileIdInfo, &id, sizeof id);
	for (int i = 0; i < 3; i++)
		stream_is_file[i] = known && same_file(id, standard_handles[i]);
}

// Through a handle opened only to ask, which neither reads nor writes it.
void
find_file_streams(const char *path)
{
	HANDLE file = CreateFileA(path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ |
	    FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
	    FILE_ATTRIBUTE_NORMAL, nullptr);
	mark_streams(file);
	if (file != INVALID_HANDLE_VALUE)
		CloseHandle(file);
}

// Read and write, so that every host's lock is exclusive, Wine's too. The
// file is shared with the stream and any reader, but not for deletion: the
// name leads to it while it is held, so the stream opens it by its name.
// A file system that cannot lock at all still lets a single run work.
claim_outcome
claim_file(const char *path)
{
	hold = CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
	    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
	    FILE_ATTRIBUTE_NORMAL, nullptr);
	if (hold == INVALID_HANDLE_VALUE)
		return claim_failed;
	mark_streams(hold);
	OVERLAPPED far_away = {};
	far_away.OffsetHigh = lock_offset_high;
	if (!LockFileEx(hold, LOCKFILE_EXCLUSIVE_LOCK |
	    LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &far_away) &&
	    GetLastError() == ERROR_LOCK_VIOLATION)
		return claim_held;
	if (stream_is_file[0])
		return claim_is_input;
	return stream_is_file[1] ? claim_is_console : claimed;
}

std::string
claimed_file_name(const char *path)
{
	return path;
}

// One that succeeds clears the last error: the C runtime sets none for a
// write that the system cut short, and a stale one would be its reason.
bool
cut_claimed_file()
{
	std::int64_t length = whole_length;
	LARGE_INTEGER size, at;
	at.QuadPart = length;
	bool cut = length < 0 || GetFileType(hold) != FILE_TYPE_DISK ||
	    (GetFileSizeEx(hold, &size) && (size.QuadPart <= length ||
	    (SetFilePointerEx(hold, at, nullptr, FILE_BEGIN) &&
	    SetEndOfFile(hold))));
	if (cut)
		SetLastError(0);
	return cut;
}

void
release_file()
{
	whole_length = -1;
	if (hold != INVALID_HANDLE_VALUE)
		CloseHandle(hold);
	hold = INVALID_HANDLE_VALUE;
}

// A write that the system cut short leaves no error of its own: the C
// runtime's errno holds the cause.
std::string
last_error_text()
{
	char text[512];
	DWORD error = GetLastError();
	if (error == 0)
		return std::strerror(errno);
	DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM |
	    FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
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
