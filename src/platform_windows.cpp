// What is particular to Windows: the result file's hold, the console's encoding, stop requests and the pause.
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "partitions.h"

const int file_newline_length = 2;
static std::atomic<HANDLE> hold{INVALID_HANDLE_VALUE};	// the run's hold
static HANDLE main_thread;	// held still while a handler cuts the file
static std::atomic<int> paused{-1};	// the run's own status, at the pause

// Runs on a thread of its own for each Ctrl-C, Ctrl-Break, closed window,
// logoff or shutdown, and ends the run here: Wine drops the default one's
// exit code. At the pause Ctrl-C and Ctrl-Break are keys, wherever else they
// go. The listing thread is held still first (GetThreadContext waits for
// that), so that it neither writes after the cut nor closes the handle.
static BOOL WINAPI
note_stop(DWORD event)
{
	if (paused >= 0 && (event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT))
		ExitProcess(paused);
	if (stop_signal.exchange(static_cast<int>(event) + 1) == 0 && listing)
		Sleep(stop_grace_ms);
	CONTEXT context = {};
	context.ContextFlags = CONTEXT_CONTROL;
	if (SuspendThread(main_thread) != static_cast<DWORD>(-1))
		GetThreadContext(main_thread, &context);
	cut_claimed_file();
	ExitProcess(STATUS_CONTROL_C_EXIT);
}

// The C runtime keeps descriptors 0 to 2 even for missing standard streams,
// and a console that goes away raises no signal. The handler stays for the
// whole run: removing it would wait for it on Wine.
bool
guard_process()
{
	if (GetStdHandle(STD_OUTPUT_HANDLE) == nullptr)
		std::cout.setstate(std::ios::badbit);
	console_takes_utf8 = GetConsoleOutputCP() == CP_UTF8;
	HANDLE self = GetCurrentProcess();
	return DuplicateHandle(self, GetCurrentThread(), self, &main_thread, 0,
	    FALSE, DUPLICATE_SAME_ACCESS) && SetConsoleCtrlHandler(note_stop, TRUE);
}

// The same volume and index. Without a claim, through a handle that only
// asks; the null device has no index. Wine cannot tell the volume of a
// handle that the host handed it, and says 0.
void
find_file_streams(const char *path, bool is_file[3])
{
	HANDLE file = hold != INVALID_HANDLE_VALUE ? hold.load() : CreateFileA(
	    path, FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE |
	    FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, 0, nullptr);
	FILE_ID_INFO id, other;
	bool known = file != INVALID_HANDLE_VALUE &&
	    GetFileInformationByHandleEx(file, FileIdInfo, &id, sizeof id);
	for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE})
		*is_file++ = known && GetFileInformationByHandleEx(GetStdHandle(
		    which), FileIdInfo, &other, sizeof other) &&
		    std::memcmp(&id.FileId, &other.FileId, sizeof id.FileId) == 0 &&
		    (other.VolumeSerialNumber == id.VolumeSerialNumber ||
		    other.VolumeSerialNumber == 0);
	if (file != hold && file != INVALID_HANDLE_VALUE)
		CloseHandle(file);
}

// Writing and reading attributes is all it asks, and every host's lock is
// still exclusive, Wine's too. Shared with the stream and any reader, but
// not for deletion: the name leads to the file while it is held.
bool
claim_file(const char *path, bool &held)
{
	hold = CreateFileA(path, GENERIC_WRITE | FILE_READ_ATTRIBUTES,
	    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0, nullptr);
	// Far past any listing: a locked range refuses the writes of every
	// other handle, the stream's too.
	OVERLAPPED far_away = {};
	far_away.OffsetHigh = 0x7FFFFFFF;
	held = hold != INVALID_HANDLE_VALUE && !LockFileEx(hold,
	    LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
	    &far_away) && GetLastError() == ERROR_LOCK_VIOLATION;
	return hold != INVALID_HANDLE_VALUE;
}

bool
open_stream(std::ofstream &stream, const char *path)
{
	stream.open(path, std::ios::out | std::ios::app);
	return stream.is_open();
}

bool
cut_claimed_file()
{
	std::int64_t length = whole_length;
	LARGE_INTEGER size, at;
	at.QuadPart = length;
	return length < 0 || GetFileType(hold) != FILE_TYPE_DISK ||
	    (GetFileSizeEx(hold, &size) && (size.QuadPart <= length ||
	    (SetFilePointerEx(hold, at, nullptr, FILE_BEGIN) &&
	    SetEndOfFile(hold))));
}

void
release_file()
{
	whole_length = -1;
	if (hold != INVALID_HANDLE_VALUE)
		CloseHandle(hold);
	hold = INVALID_HANDLE_VALUE;
}

// The C runtime gives a short write the system's error of an earlier call.
void
forget_last_error()
{
	errno = 0;
	SetLastError(0);
}

// errno holds a C runtime call's error, and the console's, whose system
// error may be an earlier call's. A reader gone shows as one of these.
std::string
last_error_text(bool console)
{
	char text[512];
	DWORD error = GetLastError();
	if (console && (error == ERROR_BROKEN_PIPE || error == ERROR_NO_DATA ||
	    error == ERROR_PIPE_NOT_CONNECTED))
		return "";
	if (error == 0 || console)
		return std::strerror(errno);
	DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM |
	    FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
	    sizeof text, nullptr);
	while (length > 0 && text[length - 1] <= ' ')	// its own line end
		length--;
	return std::string(text, length);
}

void
pause_or_end(int status)
{
	if (stop_signal)
		ExitProcess(STATUS_CONTROL_C_EXIT);
	paused = status;
	std::system("pause");
}
