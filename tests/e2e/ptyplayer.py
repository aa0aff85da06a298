#!/usr/bin/env python3
# Plays the terminal the tool runs in: a pty whose session a leader of the
# row's own holds (a shell, or this script's child), and checks a state the
# terminal must be left in, never a timing.
#   ptyplayer.py SCENE COMMAND...   prints FAIL lines and exits 1, or exits 0
# SCENE: typeahead (two commands in one write under bash -i: both run),
# background (a script's read gets what was typed, while the tool runs as
# its background job), stop (SIGTSTP at points of the start-up: the tool
# stops and stays idle, and after SIGCONT ends, the modes as they were),
# pager (a reader that sets raw mode after the tool started is still raw
# after the tool ends; 20 runs).
import fcntl, os, pty, select, shlex, signal, subprocess, sys, termios, time

scene, command = sys.argv[1], sys.argv[2:]
tool = " ".join(shlex.quote(word) for word in command)
failures = []

def play(argv, typed=b"", after=0.3, limit=30):
    """Runs argv as the leader of a new session on a new pty; returns all it showed."""
    pid, master = pty.fork()
    if pid == 0:
        os.execvp(argv[0], argv)
    time.sleep(after)
    os.write(master, typed)
    shown, end = b"", time.time() + limit
    while time.time() < end:
        if not select.select([master], [], [], 0.2)[0]:
            continue
        try:
            chunk = os.read(master, 4096)
        except OSError:
            break
        if not chunk:
            break
        shown += chunk
    end_of(pid)
    return shown.decode(errors="replace")

def end_of(pid, limit=30):
    """Waits for the process, and ends its group once the limit has passed."""
    end = time.time() + limit
    while os.waitpid(pid, os.WNOHANG) == (0, 0):
        if time.time() > end:
            fail("it did not end")
            os.killpg(pid, signal.SIGKILL)
            os.kill(pid, signal.SIGKILL)
        time.sleep(0.05)

def fail(why):
    failures.append(why)

if scene == "typeahead":
    shown = play(["bash", "--norc", "-i"], f"{tool} >/dev/null; echo one-ran\necho two-ran; exit\n".encode())
    for word in ("one-ran", "two-ran"):
        if f"{word}\r\n" not in shown:
            fail(f"{word} is missing: {shown!r}")
elif scene == "background":
    shown = play(["bash", "-c", f"{tool} >/dev/null 2>&1 & read -r -t 5 line; echo \"got<$line>\"; wait"],
                 b"hello\n", after=0.05)
    if "got<hello>" not in shown:
        fail(f"read got another line: {shown!r}")
elif scene in ("stop", "pager"):
    master, slave = pty.openpty()
    modes = termios.tcgetattr(slave)
    report = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"pager.{os.getpid()}")
    reader = ("import os, sys, termios, tty; t = os.open('/dev/tty', os.O_RDWR); tty.setraw(t); "
              "sys.stdin.buffer.read(); print(termios.tcgetattr(t)[3] & termios.ICANON)")
    job = command if scene == "stop" else ["bash", "-c", f"{tool} | python3 -c {shlex.quote(reader)} >{report}"]
    for point in ([0, 0.01, 0.05, 0.2] if scene == "stop" else [0] * 20):
        leader = os.fork()
        if leader == 0:  # a session on the pty, whose foreground job is the tool, waited for through stops
            os.setsid()
            fcntl.ioctl(slave, termios.TIOCSCTTY, 0)
            signal.signal(signal.SIGTTOU, signal.SIG_IGN)
            pid = os.fork()
            if pid == 0:
                os.setpgid(0, 0)
                os.tcsetpgrp(slave, os.getpgrp())
                for fd in (0, 1, 2):
                    os.dup2(slave, fd)
                os.execvp(job[0], job)
            while not os.WIFEXITED(os.waitpid(pid, os.WUNTRACED)[1]):
                pass
            os._exit(0)
        time.sleep(0.2 + point)
        if scene == "stop":
            pid = int(subprocess.check_output(["pgrep", "-P", str(leader)]).split()[0])
            os.killpg(pid, signal.SIGTSTP)
            time.sleep(0.2)
            stat = lambda: open(f"/proc/{pid}/stat").read().rsplit(")", 1)[1].split()
            state, cpu = stat()[0], int(stat()[11]) + int(stat()[12])
            time.sleep(0.5)
            if state != "T" or int(stat()[11]) + int(stat()[12]) != cpu:
                fail(f"at {point} s: state {state}, CPU time {cpu} then {int(stat()[11]) + int(stat()[12])}")
            os.killpg(pid, signal.SIGCONT)
        end_of(leader)
        if scene == "pager" and open(report).read().strip() != "0":
            fail("the reader was no longer raw")
        if scene == "stop" and termios.tcgetattr(slave) != modes:
            fail("the terminal's modes changed")
        termios.tcsetattr(slave, termios.TCSANOW, modes)
for why in failures:
    print("FAIL:", why)
sys.exit(1 if failures else 0)
