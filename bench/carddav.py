#!/usr/bin/python3
"""Times quorlan against Radicale on loopback: a first run over N cards, a second run with
nothing changed, and a run over the same cards from a local file; and the largest
resident memory of a first run. Medians of several runs; a noisy machine makes single
figures worthless.

    bench/carddav.py QUORLAN [CARDS] [REPEATS]
    bench/carddav.py --memory QUORLAN [CARDS]

--memory measures only the largest resident memory of a first and a second run, against
the small book server of the tests, which answers a large book far sooner than Radicale
builds its caches.
"""

import json
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "carddav"))
import fault_server  # noqa: E402
import servers  # noqa: E402

FIELDS = "DECODE=1\nphonebook.xml\nNAME*=N\nMOBILE#=TEL;CELL\nWORK#=TEL;WORK\nEMAIL=EMAIL\nCOMPANY=ORG\n"


def seed_storage(storage, count):
    """Writes the book straight into Radicale's storage folder: far faster than PUT."""
    book = os.path.join(storage, "storage", "collection-root", "anna", "book")
    os.makedirs(book)
    with open(os.path.join(book, ".Radicale.props"), "w") as f:
        json.dump({"tag": "VADDRESSBOOK", "D:displayname": "Book"}, f)
    cards = {}
    for i in range(count):
        text = servers.card("card%05d" % i, "Příjmení%05d Jméno" % i, "+420603%06d" % i,
                            "TEL;TYPE=WORK:+420222%06d\r\nEMAIL:person%05d@example.com\r\nORG:Firma %d\r\n"
                            "ADR;TYPE=HOME:;;Ulice %d;Praha;;11000;CZ\r\nNOTE:A note of some length for card %d\r\n"
                            % (i, i, i % 97, i, i))
        name = "card%05d.vcf" % i
        with open(os.path.join(book, name), "w", newline="") as f:
            f.write(text)
        cards[name] = text
    return cards


def timed(command, cwd, env):
    start = time.monotonic()
    result = subprocess.run(command, cwd=cwd, env=env, capture_output=True)
    elapsed = time.monotonic() - start
    if result.returncode != 0:
        raise RuntimeError(result.stderr.decode())
    return elapsed, result


def largest_memory(quorlan, folder, env):
    _, result = timed(["/usr/bin/time", "-f", "%M", quorlan], folder, env)
    return int(result.stderr.decode().split()[-1]) / 1024


def memory(quorlan, count):
    cards = {"card%05d.vcf" % i: servers.card("card%05d" % i, "Příjmení%05d Jméno" % i, "+420603%06d" % i,
                                              "EMAIL:person%05d@example.com\r\nORG:Firma\r\n" % i)
             for i in range(count)}
    book = fault_server.FaultBook(cards)
    work = tempfile.mkdtemp(prefix="bench-quorlan-")
    try:
        with open(os.path.join(work, "quorlan.ini"), "w") as f:
            f.write("CARDDAV=%s\n" % book.url() + FIELDS)
        first = largest_memory(quorlan, work, os.environ)
        second = largest_memory(quorlan, work, os.environ)
        print("%d cards: largest resident memory, first run %.1f MiB, second run %.1f MiB" % (count, first, second))
    finally:
        book.stop()
        shutil.rmtree(work, ignore_errors=True)


def main():
    if sys.argv[1] == "--memory":
        memory(os.path.abspath(sys.argv[2]), int(sys.argv[3]) if len(sys.argv) > 3 else 10000)
        return
    quorlan = os.path.abspath(sys.argv[1])
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 2000
    repeats = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    storage = tempfile.mkdtemp(prefix="bench-radicale-")
    work = tempfile.mkdtemp(prefix="bench-quorlan-")
    cards = seed_storage(storage, count)
    server = servers.radicale(storage, {"anna": "secret"})
    try:
        env = dict(os.environ, PW="secret")
        ini = "CARDDAV=%s\nCARDDAV_USER=anna\nCARDDAV_PASSWORD_FROM=env:PW\n" % server.url() + FIELDS
        # Radicale builds its caches on the first listing; that is the server's cost, not ours.
        warm = os.path.join(work, "warm")
        os.makedirs(warm)
        with open(os.path.join(warm, "quorlan.ini"), "w") as f:
            f.write(ini)
        timed([quorlan], warm, env)
        first, second = [], []
        for i in range(repeats):
            folder = os.path.join(work, "run%d" % i)
            os.makedirs(folder)
            with open(os.path.join(folder, "quorlan.ini"), "w") as f:
                f.write(ini)
            first.append(timed([quorlan], folder, env)[0])
            second.append(timed([quorlan], folder, env)[0])
        local = os.path.join(work, "local")
        os.makedirs(local)
        with open(os.path.join(local, "quorlan.ini"), "w") as f:
            f.write("contacts.vcf\n" + FIELDS)
        with open(os.path.join(local, "contacts.vcf"), "w", newline="") as f:
            f.write("".join(text for _, text in sorted(cards.items())))
        from_file = [timed([quorlan], local, env)[0] for _ in range(repeats)]
        memory_folder = os.path.join(work, "memory")
        os.makedirs(memory_folder)
        with open(os.path.join(memory_folder, "quorlan.ini"), "w") as f:
            f.write(ini)
        _, result = timed(["/usr/bin/time", "-f", "%M", quorlan], memory_folder, env)
        rss_first = int(result.stderr.decode().split()[-1])
        _, result = timed(["/usr/bin/time", "-f", "%M", quorlan], memory_folder, env)
        rss_second = int(result.stderr.decode().split()[-1])
        print("%d cards, medians of %d runs:" % (count, repeats))
        print("  first run from the server:     %.3f s" % statistics.median(first))
        print("  second run, nothing changed:   %.3f s" % statistics.median(second))
        print("  the same cards from a file:    %.3f s" % statistics.median(from_file))
        print("  largest resident memory: first run %.1f MiB, second run %.1f MiB"
              % (rss_first / 1024, rss_second / 1024))
    finally:
        server.stop()
        shutil.rmtree(storage, ignore_errors=True)
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
