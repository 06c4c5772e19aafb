#!/usr/bin/env python3
"""Converts a large generated card file with the release build and prints
MB/s, cards/s and peak memory beside cp of the same file.

Usage: bench/run.py [CARDS]   (default 500000)
"""
import os
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


def best_time(command, cwd, runs=5):
    best = None
    for _ in range(runs):
        start = time.perf_counter()
        subprocess.run(command, cwd=cwd, check=True)
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    return best


def peak_memory_kib(command, cwd):
    """Peak resident memory of the command, measured by GNU time: a child
    forked from Python would also count Python's own pages."""
    if not os.path.exists("/usr/bin/time"):
        return None
    done = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, cwd=cwd, check=True,
                          stderr=subprocess.PIPE, text=True)
    return int(done.stderr.strip().splitlines()[-1])


def main():
    cards = int(sys.argv[1]) if len(sys.argv) > 1 else 500000
    subprocess.run(["cmake", "--preset", "release"], cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", "--preset", "release", "--target", "cardtab"], cwd=ROOT, check=True,
                   stdout=subprocess.DEVNULL)
    exe = os.path.join(ROOT, "build", "release", "cardtab")
    with tempfile.TemporaryDirectory() as work:
        cards_path = os.path.join(work, "import.vcf")
        subprocess.run([sys.executable, os.path.join(ROOT, "bench", "make_cards.py"), str(cards), cards_path],
                       check=True)
        with open(os.path.join(work, "cardtab.ini"), "w", newline="") as ini:
            ini.write(CONFIGURATION)
        size = os.path.getsize(cards_path)
        with open(cards_path, "rb") as warm:
            while warm.read(1 << 20):
                pass
        convert = best_time([exe], work)
        copy = best_time(["cp", cards_path, os.path.join(work, "copy.vcf")], work)
        peak_kib = peak_memory_kib([exe], work)
        with open(os.path.join(work, "import.csv"), "rb") as table:
            rows = sum(1 for _ in table) - 1
    print(f"card file  {size / 1e6:.1f} MB, {cards} cards, {rows} rows written")
    print(f"cardtab    {convert:.3f} s  {size / 1e6 / convert:.0f} MB/s  {cards / convert:.0f} cards/s")
    print(f"cp         {copy:.3f} s  {size / 1e6 / copy:.0f} MB/s")
    print(f"ratio      {convert / copy:.2f} x the time of cp")
    if peak_kib is None:
        print("peak memory of cardtab  not measured: install GNU time (apt-get install time)")
    else:
        print(f"peak memory of cardtab  {peak_kib / 1024:.1f} MiB")


main()
