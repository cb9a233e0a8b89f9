// What is particular to Windows: the console's encoding, stop requests and the pause.
#include <windows.h>

#include <csignal>
#include <cstdlib>

#include "partitions.h"

// The ways a user or the system asks a console program to stop.
static const int stop_signals[] = {SIGINT, SIGTERM, SIGBREAK};

volatile std::sig_atomic_t stop_signal;

static void
note_stop(int sig)
{
	stop_signal = sig;
}

// A signal the program was started with ignored stays ignored.
static void
set_stop_action(void (*action)(int))
{
	for (int sig : stop_signals)
		if (std::signal(sig, action) == SIG_IGN)
			std::signal(sig, SIG_IGN);
}

void
catch_stop_signals()
{
	set_stop_action(note_stop);
}

void
release_stop_signals()
{
	set_stop_action(SIG_DFL);
}

// The C runtime keeps descriptors 0 to 2 for the standard streams even when
// they are missing, and a console that goes away raises no signal.
void
guard_standard_streams()
{
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
