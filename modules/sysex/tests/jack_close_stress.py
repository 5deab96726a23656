#!/usr/bin/env python3
"""Many rounds of jack_ports_check.py's closing stage, run by hand, counting hangs.

The stage "senders closing while their callbacks run" of jack_ports_check.py
hung once in a while on a loaded machine: one `sysex_tool send` of four,
their JACK callbacks made to dwell (jack_slow_callback), never finished. This
runs the same conditions (JACK servers of its own with the check's options,
recorder ports of python3-rtmidi, SENDERS senders at a time with the dwell
preloaded) for ROUNDS rounds and counts the senders that did not end within
DEADLINE_S seconds (hangs) and those that ended with an error. With
--servers 2 the lanes are shared out between two servers of this user, as
when two checks run at once on one machine. The stacks of the first hangs
(gdb, where it is installed), with the owner of each lock a thread waits for,
go to STACKS_FILE. --also-preload adds a library of the caller's to the
senders (to widen a window under study). Not a ctest entry: a round takes
about a second, and a hang shows only in some hundred senders.

usage: jack_close_stress.py SYSEX_TOOL SLOW_CALLBACK_LIB [--rounds N] [--senders K]
                            [--servers N] [--deadline S] [--stacks FILE]
                            [--server-log FILE] [--dwell-us US] [--also-preload LIB]
Exit 0 when no sender hung or failed, 1 otherwise, 77 when jackd or
python3-rtmidi is missing.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.dont_write_bytecode = True  # no cache folder left in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import jack_ports_check as check_script  # noqa: E402  (beside this file)

STACKS_KEPT = 3  # hangs whose stacks are written to the stacks file


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("tool")
    parser.add_argument("slow_callback")
    parser.add_argument("--rounds", type=int, default=100)
    parser.add_argument("--senders", type=int, default=4)
    parser.add_argument("--servers", type=int, default=1,
                        help="JACK servers of this user, each with its share of the lanes")
    parser.add_argument("--deadline", type=float, default=20.0,
                        help="seconds a sender may take before it counts as hung")
    parser.add_argument("--stacks", default="jack_close_stress_stacks.txt")
    parser.add_argument("--server-log", default="jack_close_stress_server.log")
    parser.add_argument("--dwell-us", default="1000")
    parser.add_argument("--also-preload", default="",
                        help="another library preloaded into the senders, after the dwell's")
    args = parser.parse_args()
    sys.stdout.reconfigure(line_buffering=True)
    try:
        import rtmidi
    except ImportError:
        print("SKIPPED: python3-rtmidi is not installed")
        return 77
    if not shutil.which("jackd"):
        print("SKIPPED: jackd is not installed")
        return 77

    os.environ["JACK_NO_START_SERVER"] = "1"
    work = tempfile.mkdtemp(prefix="byteloom_stress_")
    message = os.path.join(work, "short.syx")
    with open(message, "wb") as f:
        f.write(bytes([0xF0, 0x7D] + [k % 128 for k in range(24)] + [0xF7]))
    preload = os.path.abspath(args.slow_callback)
    if args.also_preload:
        preload += ":" + os.path.abspath(args.also_preload)
    checks, lanes, lane_names, lane_envs, helpers = [], [], [], [], []
    hangs, failures, stacks_kept = 0, 0, 0
    started = time.monotonic()
    try:
        for n in range(args.servers):
            server = f"byteloom_stress_{os.getpid()}_{n}"
            env = dict(os.environ, JACK_DEFAULT_SERVER=server)
            log = args.server_log if n == 0 else f"{args.server_log}.{n}"
            checks.append(check_script.Check(os.path.abspath(log)))
            check_script.start_server(checks[-1], env, server)
        # Lane k is on server k modulo the servers. A process holds clients of
        # one server only: the lanes of the first are recorders here, those of
        # the others recorders in a helper process per server, kept until its
        # standard input closes.
        helpers = []
        for k in range(args.senders):
            server = f"byteloom_stress_{os.getpid()}_{k % args.servers}"
            lane = f"lane{k + 1}"
            if k % args.servers == 0:
                os.environ["JACK_DEFAULT_SERVER"] = server
                lanes.append(check_script.Recorder(rtmidi, lane))
            else:
                helper = subprocess.Popen(
                    ["/usr/bin/python3", check_script.__file__, "--recorder", lane],
                    env=dict(os.environ, JACK_DEFAULT_SERVER=server),
                    stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
                helpers.append(helper)
                if helper.stdout.readline().strip() != "ready":
                    raise RuntimeError(f"the recorder {lane} on {server} did not start")
            lane_names.append(lane + ":in")
            lane_envs.append(dict(os.environ, JACK_DEFAULT_SERVER=server, LD_PRELOAD=preload,
                                  BYTELOOM_CALLBACK_DWELL_US=args.dwell_us))
        with open(args.stacks, "w") as stacks_file:
            for round_ in range(args.rounds):
                senders = [subprocess.Popen([args.tool, "send", message, "--port", lane,
                                             "--pause", "0"], env=lane_env, text=True,
                                            stdout=subprocess.PIPE, stderr=subprocess.PIPE)
                           for lane, lane_env in zip(lane_names, lane_envs)]
                # One deadline for the round, counted from the senders' start.
                deadline = time.monotonic() + args.deadline
                for lane, p in zip(lane_names, senders):
                    try:
                        _, err = p.communicate(timeout=max(0.1, deadline - time.monotonic()))
                    except subprocess.TimeoutExpired:
                        hangs += 1
                        print(f"round {round_ + 1}: the sender to {lane} (pid {p.pid}) "
                              f"did not end within {args.deadline} s")
                        if stacks_kept < STACKS_KEPT and shutil.which("gdb"):
                            stacks_kept += 1
                            r = subprocess.run(["gdb", "-p", str(p.pid), "-batch", "-ex",
                                                "thread apply all bt"],
                                               capture_output=True, text=True, timeout=60)
                            stacks_file.write(f"=== round {round_ + 1}, sender to {lane}, "
                                              f"pid {p.pid}\n{r.stdout}\n{owners(p.pid, r.stdout)}")
                            stacks_file.flush()
                        p.kill()
                        p.communicate(timeout=check_script.QUICK_S)
                        continue
                    if p.returncode != 0:
                        failures += 1
                        print(f"round {round_ + 1}: the sender to {lane}: "
                              f"{check_script.exit_text(p.returncode)}: {err[-500:]}")
                for lane in lanes:
                    lane.take()
                if any(jackd_dead(c) for c in checks):
                    print(f"round {round_ + 1}: a JACK server died")
                    failures += 1
                    break
                if (round_ + 1) % 25 == 0:
                    print(f"[{time.monotonic() - started:6.1f} s] {round_ + 1} rounds: "
                          f"{hangs} hung, {failures} failed")
    finally:
        for lane in lanes:
            lane.close()
        for helper in helpers:
            helper.stdin.close()
            try:
                helper.wait(check_script.QUICK_S)
            except subprocess.TimeoutExpired:
                print(f"a recorder (pid {helper.pid}) did not end; killed")
                helper.kill()
        for check in checks:
            if check.jackd is not None:
                check_script.stop_jackd(check.jackd)
        shutil.rmtree(work, ignore_errors=True)
    total = args.rounds * args.senders
    print(f"{hangs} of {total} senders hung ({args.rounds} rounds of {args.senders}), "
          f"{failures} failed, in {time.monotonic() - started:.0f} s")
    return 0 if hangs == 0 and failures == 0 else 1


def owners(pid, stacks):
    """Which thread holds each mutex that a thread in `stacks` waits to lock."""
    mutexes = sorted(set(re.findall(r"pthread_mutex_lock \(mutex=(0x[0-9a-f]+)\)", stacks)))
    if not mutexes:
        return ""
    r = subprocess.run(["gdb", "-p", str(pid), "-batch", "-ex", "info threads"]
                       + [a for m in mutexes
                          for a in ("-ex", f"print ((pthread_mutex_t*){m})->__data.__owner")],
                       capture_output=True, text=True, timeout=60)
    lines = [line for line in r.stdout.splitlines() if line.startswith(("$", " ", "*"))]
    return (f"mutexes waited for: {', '.join(mutexes)}; their owners (LWP), then the threads:\n"
            + "\n".join(lines) + "\n")


def jackd_dead(check):
    return check.jackd is not None and check.jackd.poll() is not None


if __name__ == "__main__":
    sys.exit(main())
