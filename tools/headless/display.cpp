#include "tools/headless/display.h"

#include <X11/Xlib.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

namespace torvane::headless {
namespace {

Display *display = nullptr;
pid_t xvfb_pid = -1; // our own Xvfb, when we had to start one

// Starts Xvfb on a display it picks itself (it writes the number to a pipe)
// and points DISPLAY at it.
bool StartXvfb(std::string &error)
{
	int fds[2];
	if (pipe(fds) != 0) {
		error = "A private X display cannot be started: no pipe.";
		return false;
	}
	std::string fd = std::to_string(fds[1]);
	const char *argv[] = {"Xvfb",         "-displayfd", fd.c_str(), "-screen", "0",
			      "1920x1080x24", "-nolisten",  "tcp",      nullptr};
	// Called before libobs starts any thread, so the child may do more than
	// async-signal-safe calls. The display dies with us, however we end.
	pid_t pid = fork();
	if (pid == 0) {
		prctl(PR_SET_PDEATHSIG, SIGKILL);
		int null = open("/dev/null", O_WRONLY);
		dup2(null, 1);
		dup2(null, 2);
		execvp(argv[0], const_cast<char *const *>(argv));
		_exit(127);
	}
	close(fds[1]);
	std::string number;
	pollfd waiting = {fds[0], POLLIN, 0};
	while (pid > 0 && poll(&waiting, 1, 10000) > 0) {
		char c;
		if (read(fds[0], &c, 1) != 1 || c == '\n')
			break;
		number += c;
	}
	close(fds[0]);
	if (pid <= 0 || number.empty()) {
		if (pid > 0) {
			kill(pid, SIGTERM);
			waitpid(pid, nullptr, 0);
		}
		error = "No X display: DISPLAY is not set and Xvfb could not be started.";
		return false;
	}
	xvfb_pid = pid;
	setenv("DISPLAY", (":" + number).c_str(), 1);
	return true;
}

} // namespace

void *OpenDisplay(bool private_display, std::string &error)
{
	const char *name = getenv("DISPLAY");
	if ((!name || !*name) && private_display) {
		if (!StartXvfb(error))
			return nullptr;
		name = getenv("DISPLAY");
	}
	if (!name || !*name) {
		error = "No X display: set DISPLAY, for example to a display of Xvfb.";
		return nullptr;
	}
	display = XOpenDisplay(nullptr);
	if (!display)
		error = std::string("The X display ") + name + " cannot be opened.";
	return display;
}

void CloseDisplay()
{
	if (display) {
		XCloseDisplay(display);
		display = nullptr;
	}
	if (xvfb_pid > 0) {
		kill(xvfb_pid, SIGTERM);
		waitpid(xvfb_pid, nullptr, 0);
		xvfb_pid = -1;
		unsetenv("DISPLAY");
	}
}

} // namespace torvane::headless
