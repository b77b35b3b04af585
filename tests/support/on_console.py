#!/usr/bin/env python3
"""on_console.py [--type TEXT --after PROMPT] [--interrupt MS]... [--interrupting NAME] -- COMMAND...

Runs COMMAND on a terminal of its own (a pty), as a user at a console does. Under Wine the
program gets a real Windows console: Wine's conhost, which shows it on the terminal in
UTF-8, whatever the console's code page. --type types TEXT and Enter once PROMPT has
appeared; each --interrupt presses Ctrl-C that many milliseconds after the start (with
--interrupting, the newest process whose program's name ends with NAME gets the SIGINT the key
would give it: Wine's conhost on a terminal takes the key as the terminal's, and its signal
would reach cmd.exe too, which ends and takes the console with it). Prints what
the terminal showed, without its control sequences, and exits with COMMAND's exit code (124
when it is still running after two minutes)."""
import os
import pty
import re
import select
import signal
import sys
import tty
import time

args = sys.argv[1:]
typed, prompt, interrupts, interrupting = None, None, [], None
while args and args[0] != "--":
    option, value = args[0], args[1]
    args = args[2:]
    if option == "--type":
        typed = value
    elif option == "--after":
        prompt = value
    elif option == "--interrupt":
        interrupts.append(int(value) / 1000)
    elif option == "--interrupting":
        interrupting = value
command = args[1:]

pid, fd = pty.fork()
if pid == 0:
    # The keys go to the console as typed (Enter as a carriage return), not through the
    # terminal's line editing, echo and signals, as a terminal program has its keys.
    tty.setraw(0)
    os.execvp(command[0], command)
start = time.monotonic()
shown = b""
status = None
while status is None:
    now = time.monotonic() - start
    if now > 120:
        os.kill(pid, signal.SIGKILL)
        os.waitpid(pid, 0)
        sys.stdout.write(shown.decode("utf-8", "replace"))
        sys.exit(124)
    while interrupts and now >= interrupts[0]:
        interrupts.pop(0)
        if interrupting:
            for process in sorted((int(p) for p in os.listdir("/proc") if p.isdigit()), reverse=True):
                try:
                    program = open(f"/proc/{process}/cmdline", "rb").read().split(b"\0")[0]
                except OSError:
                    continue
                if program.decode("utf-8", "replace").endswith(interrupting):
                    os.kill(process, signal.SIGINT)
                    break
        else:
            os.write(fd, b"\x03")
    if typed is not None and prompt.encode() in re.sub(rb"\x1b\[[0-9;?]*[A-Za-z]", b"", shown):
        os.write(fd, typed.encode() + b"\r")
        typed = None
    ready, _, _ = select.select([fd], [], [], 0.05)
    if ready:
        try:
            chunk = os.read(fd, 65536)
        except OSError:
            chunk = b""
        shown += chunk
    done, code = os.waitpid(pid, os.WNOHANG)
    if done:
        status = code
# What is still on its way to the terminal.
while select.select([fd], [], [], 0.2)[0]:
    try:
        chunk = os.read(fd, 65536)
    except OSError:
        break
    if not chunk:
        break
    shown += chunk
text = re.sub(r"\x1b\[[0-9;?]*[A-Za-z]|\x1b\][^\x07]*\x07", "", shown.decode("utf-8", "replace")).replace("\r", "")
sys.stdout.write(text)
sys.exit(os.waitstatus_to_exitcode(status))
