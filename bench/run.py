#!/usr/bin/env python3
"""Converts a large generated card file with the release build, beside cp of
the same file, and prints the time ratios, MB/s and peak memory.

Usage: bench/run.py [CARDS] [--pairs N] [--exe PATH]

The conversion, the conversion with --decode, with --utf8 and cp run in
turn, after a warm-up of each, on one core (taskset -c 0) and on all; the wall, user and
system times are medians, and a ratio is of median wall times. The same is done on a variant
of the cards in which every name is quoted-printable and every address
folded, where decoding has the most to do. Peak memory is measured with
15 MB and 150 MB of cards, on a file that is one long line, and, decoding,
on a photo of 50 MB folded over a million lines, to show that it stays
flat. Then 10,000 files of one card each in a folder against the same
cards in one file, and the peak memory of that run. Last, inputs made to
be slow: 50 columns against lines of 2,000 parameters each (upper case,
lower case, grouped), and 20,000 distinct tags for --tags, each beside a
plain file of the same size.
"""
import argparse
import os
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
CONFIGURATION = """N*Name={name_tag}
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
    """Wall, user and system seconds of one run."""
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    subprocess.run(command, cwd=cwd, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    wall = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    return wall, after.ru_utime - before.ru_utime, after.ru_stime - before.ru_stime


def peak_memory_kib(command, cwd):
    """Peak resident memory of the command, measured by GNU time: a child
    forked from Python would also count Python's own pages."""
    if not os.path.exists("/usr/bin/time"):
        return None
    done = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, cwd=cwd, check=True,
                          stderr=subprocess.PIPE, text=True)
    return int(done.stderr.strip().splitlines()[-1])


def make_cards(cards, folder, encoded=False):
    path = os.path.join(folder, "import.vcf")
    command = [sys.executable, os.path.join(ROOT, "bench", "make_cards.py"), str(cards), path]
    subprocess.run(command + (["--encoded"] if encoded else []), check=True)
    with open(os.path.join(folder, "cardtab.ini"), "w", newline="") as ini:
        # A quoted-printable name line begins "N;CHARSET=...", not "N:".
        ini.write(CONFIGURATION.format(name_tag="N;" if encoded else "N:"))
    return path


def build_release():
    subprocess.run(["cmake", "--preset", "release"], cwd=ROOT, check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", "--preset", "release", "--target", "cardtab"], cwd=ROOT, check=True,
                   stdout=subprocess.DEVNULL)
    return os.path.join(ROOT, "build", "release", "cardtab")


def medians(commands, work, pairs):
    """The median wall, user and system times of each command, run in turn
    `pairs` times after a warm-up."""
    for command in commands:
        timed(command, work)
    times = [[] for _ in commands]
    for _ in range(pairs):
        for n, command in enumerate(commands):
            times[n].append(timed(command, work))
    return [tuple(statistics.median(run[k] for run in each) for k in range(3)) for each in times]


def shown(name, times, size):
    wall, user, system = times
    return f"{name:<10} {wall:.3f} s wall  {user:.3f} s user  {system:.3f} s system  {size / 1e6 / wall:.0f} MB/s"


def on_cores(command, cores):
    """The command on one core, where taskset can pin it, or on all."""
    return ["taskset", "-c", "0"] + command if cores == 1 else command


def speed(exe, cards, pairs):
    core_counts = [1, os.cpu_count()] if shutil.which("taskset") and os.cpu_count() > 1 else [os.cpu_count()]
    with tempfile.TemporaryDirectory() as work:
        path = make_cards(cards, work)
        size = os.path.getsize(path)
        copy = ["cp", path, os.path.join(work, "copy.vcf")]
        print(f"card file  {size / 1e6:.1f} MB, {cards} cards; medians of {pairs} interleaved runs")
        for cores in core_counts:
            commands = [on_cores(command, cores) for command in ([exe], [exe, "--decode"], [exe, "--utf8"], copy)]
            convert, decode, utf8, cp = medians(commands, work, pairs)
            print(f"on {cores} core{'s' if cores > 1 else ''}:")
            print(shown("cardtab", convert, size) + f"  {convert[0] / cp[0]:.2f} x the time of cp")
            print(shown("--decode", decode, size) + f"  {decode[0] / convert[0]:.2f} x the time of cardtab")
            print(shown("--utf8", utf8, size) + f"  {utf8[0] / convert[0]:.2f} x the time of cardtab")
            print(shown("cp", cp, size))
    with tempfile.TemporaryDirectory() as work:
        path = make_cards(cards, work, encoded=True)
        size = os.path.getsize(path)
        convert, decode = medians([[exe], [exe, "--decode"]], work, pairs)
    print(f"encoded    {size / 1e6:.1f} MB: every name quoted-printable, every address folded")
    print(shown("cardtab", convert, size))
    print(shown("--decode", decode, size) + f"  {decode[0] / convert[0]:.2f} x the time of cardtab")


# Each generated card takes about this many bytes.
BYTES_PER_CARD = 620


def write_photo(folder):
    """A card whose photo of 50 MB is folded over a million lines."""
    with open(os.path.join(folder, "import.vcf"), "wb") as cards:
        cards.write(b"BEGIN:VCARD\r\nVERSION:3.0\r\nN:Doe;Jan;;;\r\nPHOTO;ENCODING=b;TYPE=JPEG:")
        block = (b"\r\n " + b"B" * 47) * 1000
        for _ in range(1000):
            cards.write(block)
        cards.write(b"\r\nTEL:+420 123\r\nEND:VCARD\r\n")


def memory(exe):
    if not os.path.exists("/usr/bin/time"):
        print("peak memory  not measured: install GNU time (apt-get install time)")
        return
    with tempfile.TemporaryDirectory() as work:
        for megabytes in (15, 150):
            path = make_cards(megabytes * 1000 * 1000 // BYTES_PER_CARD, work)
            size = os.path.getsize(path) / 1e6
            for mode in ([], ["--decode"]):
                peak = peak_memory_kib([exe] + mode, work)
                print(f"peak memory  {peak / 1024:.1f} MiB with {size:.0f} MB of cards {' '.join(mode)}")
        with open(os.path.join(work, "import.vcf"), "wb") as line:
            block = b"N" * (1 << 20)
            for _ in range(100):
                line.write(block)
        peak = peak_memory_kib([exe], work)
        print(f"peak memory  {peak / 1024:.1f} MiB with one line of 105 MB")
        write_photo(work)
        peak = peak_memory_kib([exe, "--decode"], work)
        print(f"peak memory  {peak / 1024:.1f} MiB with a photo of 50 MB folded over a million lines --decode")


def split_cards(path, folder):
    """Each card of the file into a file of its own in `folder`."""
    os.mkdir(folder)
    with open(path, "rb") as cards:
        for n, card in enumerate(cards.read().split(b"BEGIN:VCARD")[1:]):
            with open(os.path.join(folder, f"card{n:06d}.vcf"), "wb") as one:
                one.write(b"BEGIN:VCARD" + card)


def many_files(exe, pairs, files=10000):
    with tempfile.TemporaryDirectory() as work:
        path = make_cards(files, work)
        split_cards(path, os.path.join(work, "cards"))
        commands = [[exe] + mode + [name, "out.csv"] for mode in ([], ["--decode"]) for name in ("import.vcf", "cards")]
        one, folder, one_decoded, folder_decoded = medians(commands, work, pairs)
        print(f"{files} files of one card: {folder[0]:.3f} s wall, {folder[0] / one[0]:.2f} x the same cards in one "
              f"file; --decode {folder_decoded[0]:.3f} s, {folder_decoded[0] / one_decoded[0]:.2f} x")
        peak = peak_memory_kib([exe, "cards", "out.csv"], work)
        if peak is not None:
            print(f"peak memory  {peak / 1024:.1f} MiB with {files} files of one card")


def write_repeated(path, block, size):
    with open(path, "w", newline="") as out:
        for _ in range(size // len(block) + 1):
            out.write(block)


def hostile(exe, pairs, size=20 * 1000 * 1000):
    with tempfile.TemporaryDirectory() as work:
        with open(os.path.join(work, "cardtab.ini"), "w") as ini:
            ini.write("".join(f"T{n}=TEL;A;B;C;D;E;F;G;H\n" for n in range(50)))
        plain_card = "BEGIN:VCARD\r\n" + ("NOTE:" + "n" * 4000 + "\r\n") * 5 + "END:VCARD\r\n"
        write_repeated(os.path.join(work, "plain.vcf"), plain_card, size)
        names = []
        for name, prefix in (("upper", "TEL;"), ("lower", "tel;"), ("grouped", "item1.TEL;")):
            line = prefix + "x;" * 2000 + "A;B;C;D;E;F;G;H:1\r\n"
            write_repeated(os.path.join(work, name + ".vcf"), "BEGIN:VCARD\r\n" + line * 5 + "END:VCARD\r\n", size)
            names.append(name)
        for mode in ([], ["--decode"]):
            commands = [[exe] + mode + [name + ".vcf", "out.csv"] for name in ["plain"] + names]
            plain, *slow = medians(commands, work, pairs)
            shown_slow = ", ".join(f"{name} {times[0]:.3f} s ({times[0] / plain[0]:.1f} x)" for name, times in zip(names, slow))
            print(f"2,000 parameters a line {' '.join(mode) or 'as they stand'}: plain {plain[0]:.3f} s; {shown_slow}")
        tags = "".join(f"BEGIN:VCARD\r\nX-T{n:05d}-{'y' * 40}:1\r\nEND:VCARD\r\n" for n in range(20000))
        with open(os.path.join(work, "tags.vcf"), "w", newline="") as out:
            out.write(tags)
        same = "BEGIN:VCARD\r\nX-TAG-" + "y" * 46 + ":1\r\nEND:VCARD\r\n"
        write_repeated(os.path.join(work, "same.vcf"), same, len(tags))
        for mode in ([], ["--decode"]):
            same_times, distinct = medians([[exe, "--tags"] + mode + [name] for name in ("same.vcf", "tags.vcf")],
                                           work, pairs)
            print(f"--tags {' '.join(mode)}: 20,000 tags {distinct[0]:.3f} s, {distinct[0] / same_times[0]:.1f} x one tag")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("cards", nargs="?", type=int, default=400000)
    parser.add_argument("--pairs", type=int, default=15)
    parser.add_argument("--exe", help="a cardtab to measure instead of the release build")
    arguments = parser.parse_args()
    exe = os.path.abspath(arguments.exe) if arguments.exe else build_release()
    speed(exe, arguments.cards, arguments.pairs)
    memory(exe)
    many_files(exe, arguments.pairs)
    hostile(exe, arguments.pairs)


main()
