// What is particular to Windows: the console's encoding, stop requests and the pause.
#include <windows.h>

#include <cstdlib>

#include "partitions.h"

// How long a stopped run waits for the console to take its line; well
// within the seconds the system gives a closing console window.
static const DWORD stop_grace_ms = 1000;

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
// they are missing, and a console that goes away raises no signal.
bool
guard_streams()
{
	return true;
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
