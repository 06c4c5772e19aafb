#!/usr/bin/env python3
"""Converts a large generated card file with the release build, beside cp of
the same file, and prints the time ratio, MB/s and peak memory.

Usage: bench/run.py [CARDS] [--pairs N] [--exe PATH]

The conversion and cp run alternately, in pairs, after a warm-up of each;
the ratio is the median conversion time over the median cp time. Peak
memory is measured with 15 MB and 150 MB of cards and on a file that is one
long line, to show that it stays flat.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CONFIGURATION = """N*Name=N:
Full name=FN
Company=ORG
#Mobile=TEL;TYPE=CELL
#Work phone=TEL;TYPE=WORK
E-mail=EMAIL;TYPE=INTERNET
Home=ADR;TYPE=HOME
Work=ADR;TYPE=WORK
Note=NOTE
Ident=Person
"""


def timed(command, cwd):
    start = time.perf_counter()
    subprocess.run(command, cwd=cwd, check=True)
    return time.perf_counter() - start


def peak_memory_kib(command, cwd):
    """Peak resident memory of the command, measured by GNU time: a child
    forked from Python would also count Python's own pages."""
    if not os.path.exists("/usr/bin/time"):
        return None
    done = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, cwd=cwd, check=True,
                          stderr=subprocess.PIPE, text=True)
    return int(done.stderr.strip().splitlines()[-1])


def make_cards(cards, folder):
    path = os.path.join(folder, "import.vcf")
    subprocess.run([sys.executable, os.path.join(ROOT, "bench", "make_cards.py"), str(cards), path], check=True)
    with open(os.path.join(folder, "cardtab.ini"), "w", newline="") as ini:
        ini.write(CONFIGURATION)
    return path


def build_release():
    subprocess.run(["cmake", "--preset", "release"], cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", "--preset", "release", "--target", "cardtab"], cwd=ROOT, check=True,
                   stdout=subprocess.DEVNULL)
    return os.path.join(ROOT, "build", "release", "cardtab")


def speed(exe, cards, pairs):
    with tempfile.TemporaryDirectory() as work:
        path = make_cards(cards, work)
        size = os.path.getsize(path)
        copy = ["cp", path, os.path.join(work, "copy.vcf")]
        timed([exe], work)
        timed(copy, work)
        convert_times, copy_times = [], []
        for _ in range(pairs):
            convert_times.append(timed([exe], work))
            copy_times.append(timed(copy, work))
        with open(os.path.join(work, "import.csv"), "rb") as table:
            rows = sum(1 for _ in table) - 1
    convert = statistics.median(convert_times)
    copy = statistics.median(copy_times)
    print(f"card file  {size / 1e6:.1f} MB, {cards} cards, {rows} rows written; median of {pairs} pairs")
    print(f"cardtab    {convert:.3f} s  {size / 1e6 / convert:.0f} MB/s  (runs {min(convert_times):.3f}"
          f" to {max(convert_times):.3f} s)")
    print(f"cp         {copy:.3f} s  {size / 1e6 / copy:.0f} MB/s  (runs {min(copy_times):.3f}"
          f" to {max(copy_times):.3f} s)")
    print(f"ratio      {convert / copy:.2f} x the time of cp")


# Each generated card takes about this many bytes.
BYTES_PER_CARD = 620


def memory(exe):
    with tempfile.TemporaryDirectory() as work:
        for megabytes in (15, 150):
            path = make_cards(megabytes * 1000 * 1000 // BYTES_PER_CARD, work)
            peak = peak_memory_kib([exe], work)
            if peak is None:
                print("peak memory  not measured: install GNU time (apt-get install time)")
                return
            print(f"peak memory  {peak / 1024:.1f} MiB with {os.path.getsize(path) / 1e6:.0f} MB of cards")
        with open(os.path.join(work, "import.vcf"), "wb") as line:
            block = b"N" * (1 << 20)
            for _ in range(100):
                line.write(block)
        peak = peak_memory_kib([exe], work)
        print(f"peak memory  {peak / 1024:.1f} MiB with one line of 105 MB")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("cards", nargs="?", type=int, default=400000)
    parser.add_argument("--pairs", type=int, default=7)
    parser.add_argument("--exe", help="a cardtab to measure instead of the release build")
    arguments = parser.parse_args()
    exe = os.path.abspath(arguments.exe) if arguments.exe else build_release()
    speed(exe, arguments.cards, arguments.pairs)
    memory(exe)


main()
