#!/usr/bin/env python3
"""Compares commands by running them in turn, run after run, rather than one after another.

    bench/alternate.py RUNS COMMAND... [-- COMMAND...]...

Each round runs every command once, in an order that reverses every round; three rounds of
warm-up come first. For each command it prints the median wall time and CPU time (user + system)
against the first command's, and the median and quartiles of its per-round ratio to the first
command. On a machine whose speed drifts (a shared virtual machine), the per-round ratio moves
far less than medians taken from one command's runs after another's, as hyperfine takes them.
Standard output of the commands goes to /dev/null.

Example: bench/alternate.py 100 regina ./assignments.rex -- ./assignments
"""
import os
import statistics
import sys
import time

WARMUP_ROUNDS = 3


def parse(argv):
    if len(argv) < 3 or not argv[1].isdigit() or int(argv[1]) < 1:
        sys.exit("usage: bench/alternate.py RUNS COMMAND... [-- COMMAND...]...")
    commands, current = [], []
    for word in argv[2:]:
        if word == "--":
            commands.append(current)
            current = []
        else:
            current.append(word)
    commands.append(current)
    if any(not command for command in commands):
        sys.exit("bench/alternate.py: an empty command")
    return int(argv[1]), commands


def run_once(command, devnull):
    """Wall and CPU time of one run, in milliseconds."""
    # The child reports a failed exec through a pipe that a successful exec closes.
    read_end, write_end = os.pipe()
    os.set_inheritable(write_end, False)
    start = time.perf_counter()
    pid = os.fork()
    if pid == 0:
        try:
            os.close(read_end)
            os.dup2(devnull, 1)
            os.execvp(command[0], command)
        except OSError as error:
            os.write(write_end, error.strerror.encode())
        finally:
            os._exit(127)
    os.close(write_end)
    failure = os.read(read_end, 200).decode()
    os.close(read_end)
    _, _, usage = os.wait4(pid, 0)
    wall = (time.perf_counter() - start) * 1000
    if failure:
        sys.exit(f"bench/alternate.py: cannot run {command[0]}: {failure}")
    return wall, (usage.ru_utime + usage.ru_stime) * 1000


def main():
    runs, commands = parse(sys.argv)
    devnull = os.open(os.devnull, os.O_WRONLY)
    wall = [[] for _ in commands]
    cpu = [[] for _ in commands]
    for round_number in range(WARMUP_ROUNDS + runs):
        order = list(range(len(commands)))
        if round_number % 2:
            order.reverse()
        for i in order:
            w, c = run_once(commands[i], devnull)
            if round_number >= WARMUP_ROUNDS:
                wall[i].append(w)
                cpu[i].append(c)
    base_wall, base_cpu = statistics.median(wall[0]), statistics.median(cpu[0])
    for i, command in enumerate(commands):
        ratios = sorted(w / b for w, b in zip(wall[i], wall[0]))
        median_wall, median_cpu = statistics.median(wall[i]), statistics.median(cpu[i])
        print(f"{' '.join(command)[:40]:40s} wall {median_wall:8.2f} ms ({median_wall / base_wall:.3f})"
              f"  cpu {median_cpu:8.2f} ms ({median_cpu / base_cpu:.3f})"
              f"  per round {statistics.median(ratios):.3f}"
              f" [{ratios[len(ratios) // 4]:.3f} to {ratios[3 * len(ratios) // 4]:.3f}]")


if __name__ == "__main__":
    main()
