#!/usr/bin/env python3
"""Writes a large, realistic card file for the benchmark.

Usage: make_cards.py CARDS OUTPUT [--encoded]. Names are Czech, Slovak and
Hungarian in UTF-8; each card has several TEL, EMAIL and ADR lines, a NOTE
and a long UID, with CR LF line ends, as phones export them. With
--encoded, every name is quoted-printable, as Android writes it (with a soft
line break in the long one), and every address is folded over two lines.
"""
import random
import sys

FIRST = ["Jiří", "Zuzana", "Péter", "Ľubomír", "Tünde", "Anežka", "Štěpán", "Katarína", "Gábor", "Řehoř",
         "Ľudmila", "Ödön", "Dušan", "Éva", "Tomáš"]
LAST = ["Dvořák", "Kováčová", "Szőke", "Šťastný", "Kőszegi", "Růžičková", "Nagy", "Horváth", "Černý",
        "Žáková", "Lukáč", "Fűzfa", "Bělohlávek", "Ťapák", "Hajdú"]
TOWNS = ["Praha", "Brno", "Žilina", "Győr", "Košice", "Pécs", "Ústí nad Labem", "Debrecen", "Nitra"]
STREETS = ["Náměstí Míru", "Hlavná", "Árpád út", "Kossuth Lajos utca", "Ľudová", "Dlouhá", "Szőlő utca"]


def quoted_printable(text, per_line=16):
    """Every byte as =XX, as Android writes names, with a soft line break
    after every `per_line` bytes."""
    escapes = [f"={byte:02X}" for byte in text.encode("utf-8")]
    lines = ["".join(escapes[at:at + per_line]) for at in range(0, len(escapes), per_line)]
    return "=\r\n".join(lines)


def folded(line, width=40):
    """The line over several lines, each after the first beginning with a space."""
    return "\r\n ".join(line[at:at + width] for at in range(0, len(line), width))


def encode(lines):
    encoded = []
    for line in lines:
        name, value = line.split(":", 1)
        if name in ("N", "FN"):
            encoded.append(f"{name};CHARSET=UTF-8;ENCODING=QUOTED-PRINTABLE:" + quoted_printable(value))
        elif name.startswith("ADR"):
            encoded.append(folded(line))
        else:
            encoded.append(line)
    return encoded


def card(rng, n, encoded):
    first, last = rng.choice(FIRST), rng.choice(LAST)
    town, street = rng.choice(TOWNS), rng.choice(STREETS)
    lines = [
        "BEGIN:VCARD", "VERSION:3.0", f"N:{last};{first};;;", f"FN:{first} {last}",
        f"ORG:{rng.choice(LAST)} a syn s.r.o.;Obchod",
        f"TEL;TYPE=CELL:+420 {rng.randrange(600, 800)} {rng.randrange(100, 999)} {rng.randrange(100, 999)}",
        f"TEL;TYPE=WORK:+36 {rng.randrange(20, 70)} {rng.randrange(100, 999)} {rng.randrange(1000, 9999)}",
        f"TEL;TYPE=HOME:+421 {rng.randrange(900, 950)} {rng.randrange(100, 999)} {rng.randrange(100, 999)}",
        f"EMAIL;TYPE=INTERNET:contact{n}@example.cz", f"EMAIL;TYPE=WORK:office{n}@example.hu",
        f"ADR;TYPE=HOME:;;{street} {rng.randrange(1, 200)};{town};;{rng.randrange(10000, 99999)};Česko",
        f"ADR;TYPE=WORK:;;{rng.choice(STREETS)} {rng.randrange(1, 99)};{rng.choice(TOWNS)};;;Slovensko",
        f"NOTE:Zákazník od roku {rng.randrange(1995, 2026)}\\; volat po 16:00\\, ne v pátek.",
        "UID:urn:uuid:" + "-".join(f"{rng.getrandbits(32):08x}" for _ in range(6)) + "-" + "0" * 60,
        f"REV:2026-{rng.randrange(1, 13):02d}-{rng.randrange(1, 29):02d}T10:00:00Z", "END:VCARD",
    ]
    if encoded:
        lines = encode(lines)
    return "\r\n".join(lines) + "\r\n"


def main():
    count, path = int(sys.argv[1]), sys.argv[2]
    encoded = "--encoded" in sys.argv[3:]
    rng = random.Random(2026)
    with open(path, "w", encoding="utf-8", newline="") as out:
        for n in range(count):
            out.write(card(rng, n, encoded))


main()
