"""End-to-end runs of quorlan against CardDAV servers on 127.0.0.1: Radicale and Xandikos
as Debian ships them, and a fault server. Each class starts its servers and stops them.

    /usr/bin/python3 carddav_test.py QUORLAN_EXE [TestClass ...]
"""

import base64
import os
import ssl
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import fault_server  # noqa: E402
import servers  # noqa: E402

QUORLAN = None
FIELDS = "DECODE=1\nphonebook.xml\nNAME*=N\nMOBILE#=TEL;CELL\n"


class Run:
    """A folder where quorlan runs, with its quorlan.ini."""

    def __init__(self, test, lines, env=None):
        self.folder = tempfile.mkdtemp(prefix="carddav-run-")
        test.addCleanup(subprocess.run, ["rm", "-rf", self.folder])
        self.env = dict(os.environ, QUORLAN_TEST_PASSWORD="secret")
        self.env.update(env or {})
        self.write_ini(lines)

    def write_ini(self, lines):
        with open(os.path.join(self.folder, "quorlan.ini"), "w") as f:
            f.write(lines)

    def __call__(self, timeout=60, **env):
        result = subprocess.run([QUORLAN], cwd=self.folder, env=dict(self.env, **env), capture_output=True,
                                timeout=timeout)
        return result.returncode, result.stderr.decode("utf-8", "replace")

    def phonebook(self):
        with open(os.path.join(self.folder, "phonebook.xml"), "rb") as f:
            return f.read()

    def cards(self):
        """The card folder: each file's name and inode, to see which were written again."""
        folder = os.path.join(self.folder, "carddav")
        return {name: os.stat(os.path.join(folder, name)).st_ino for name in sorted(os.listdir(folder))}

    def snapshot(self):
        files = {}
        for root, _, names in os.walk(self.folder):
            for name in names:
                path = os.path.join(root, name)
                with open(path, "rb") as f:
                    files[os.path.relpath(path, self.folder)] = f.read()
        return files


def carddav_lines(url, user="anna"):
    lines = "CARDDAV=%s\n" % url
    if user:
        lines += "CARDDAV_USER=%s\nCARDDAV_PASSWORD_FROM=env:QUORLAN_TEST_PASSWORD\n" % user
    return lines


def converted_from_a_file(test, cards):
    """The phonebook the same cards give from a card file, in the order of their file names."""
    run = Run(test, "contacts.vcf\n" + FIELDS)
    with open(os.path.join(run.folder, "contacts.vcf"), "w", newline="") as f:
        f.write("".join(text for _, text in sorted(cards.items())))
    code, errors = run()
    test.assertEqual(code, 0, errors)
    return run.phonebook()


class SyncCycle:
    """First fetch, nothing changed, one card added, one changed, one deleted, a token the
    server refuses: the same for every real server."""

    def check_sync_cycle(self, run, dav, book_path):
        cards = {"a.vcf": servers.card("a", "Novák Jan", "+420603123456"),
                 "b.vcf": servers.card("b", "Dvořák Eva", "+420604000111"),
                 "c.vcf": servers.card("c", "Král Petr", "+420605000222")}
        for name, text in cards.items():
            dav.put(book_path + name, text)
        code, errors = run()
        self.assertEqual((code, errors), (0, ""))
        self.assertEqual(run.phonebook(), converted_from_a_file(self, cards))
        first = run.cards()
        self.assertEqual(sorted(first), [".quorlan-carddav", "a.vcf", "b.vcf", "c.vcf"])

        # Nothing changed: no card is written again, the phonebook is the same.
        phonebook = run.phonebook()
        self.assertEqual(run(), (0, ""))
        self.assertEqual({k: v for k, v in run.cards().items() if k.endswith(".vcf")},
                         {k: v for k, v in first.items() if k.endswith(".vcf")})
        self.assertEqual(run.phonebook(), phonebook)

        # One added, one changed, one deleted: only those are fetched or removed.
        cards["d.vcf"] = servers.card("d", "Nová Jana", "+420606000333")
        cards["b.vcf"] = servers.card("b", "Dvořáková Eva", "+420604000999")
        del cards["c.vcf"]
        dav.put(book_path + "d.vcf", cards["d.vcf"])
        dav.put(book_path + "b.vcf", cards["b.vcf"])
        dav.delete(book_path + "c.vcf")
        self.assertEqual(run(), (0, ""))
        after = run.cards()
        self.assertEqual(sorted(after), [".quorlan-carddav", "a.vcf", "b.vcf", "d.vcf"])
        self.assertEqual(after["a.vcf"], first["a.vcf"])
        self.assertNotEqual(after["b.vcf"], first["b.vcf"])
        self.assertEqual(run.phonebook(), converted_from_a_file(self, cards))

        # A token the server no longer knows starts again from nothing, and comes out the same.
        state = os.path.join(run.folder, "carddav", ".quorlan-carddav")
        with open(state) as f:
            text = f.read()
        with open(state, "w") as f:
            f.write("".join("token\tunknown-token\n" if line.startswith("token\t") else line
                            for line in text.splitlines(True)))
        self.assertEqual(run(), (0, ""))
        self.assertEqual(run.phonebook(), converted_from_a_file(self, cards))
        return cards


class RadicaleTest(unittest.TestCase, SyncCycle):
    @classmethod
    def setUpClass(cls):
        cls.storage = tempfile.mkdtemp(prefix="carddav-radicale-")
        cls.server = servers.radicale(cls.storage, {"anna": "secret", "otto": "secret", "eva": "secret", "zoe": "secret"})
        cls.dav = servers.Dav(cls.server.url(), "anna", "secret")

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        subprocess.run(["rm", "-rf", cls.storage])

    def test_sync_cycle_from_the_server_root(self):
        eva = servers.Dav(self.server.url(), "eva", "secret")
        eva.make_book("/eva/book/", "Book")
        run = Run(self, carddav_lines(self.server.url(), "eva") + FIELDS)
        self.check_sync_cycle(run, eva, "/eva/book/")

    def test_failures_leave_phonebook_and_folder_as_they_were(self):
        self.dav.make_book("/anna/kept/", "Kept")
        self.dav.put("/anna/kept/keep.vcf", servers.card("keep", "Stálý Karel", "+420600000001"))
        run = Run(self, carddav_lines(self.server.url("/anna/kept/")) + FIELDS)
        self.assertEqual(run(), (0, ""))
        before = run.snapshot()
        cases = [
            ("wrong password", {"QUORLAN_TEST_PASSWORD": "wrong"}, None, "refused the login of user 'anna' (401)"),
            ("no such book", {}, carddav_lines(self.server.url("/anna/nothing/")) + FIELDS, "no address book at"),
            ("no DECODE=1", {}, carddav_lines(self.server.url()) + "phonebook.xml\nNAME=N\n", "needs DECODE=1"),
            ("password variable unset", {"QUORLAN_TEST_PASSWORD": ""}, None, "QUORLAN_TEST_PASSWORD"),
            ("password in quorlan.ini", {}, carddav_lines(self.server.url()).replace(
                "env:QUORLAN_TEST_PASSWORD", "secret") + FIELDS, "never stands in quorlan.ini"),
        ]
        ini = os.path.join(run.folder, "quorlan.ini")
        with open(ini) as f:
            original_ini = f.read()
        for name, env, lines, message in cases:
            with self.subTest(name):
                run.write_ini(lines or original_ini)
                code, errors = run(**env)
                self.assertEqual(code, 1)
                self.assertIn(message, errors)
                self.assertEqual(errors.count("\n"), 1, errors)
                self.assertNotIn("secret", errors.replace("QUORLAN_TEST_PASSWORD", ""))
                run.write_ini(original_ini)
                self.assertEqual(run.snapshot(), before)

    def test_several_books_are_listed_and_one_is_chosen_by_name(self):
        otto = servers.Dav(self.server.url(), "otto", "secret")
        otto.make_book("/otto/work/", "Work")
        otto.make_book("/otto/private/", "Private")
        otto.put("/otto/work/w.vcf", servers.card("w", "Pracovní Jan", "+420600000002"))
        run = Run(self, carddav_lines(self.server.url(), "otto") + FIELDS)
        code, errors = run()
        self.assertEqual(code, 1, errors)
        self.assertIn('"Private", "Work"', errors.replace('"Work", "Private"', '"Private", "Work"'))
        self.assertIn("CARDDAV_BOOK=", errors)
        run.write_ini(carddav_lines(self.server.url(), "otto") + "CARDDAV_BOOK=Work\n" + FIELDS)
        self.assertEqual(run(), (0, ""))
        self.assertIn("Pracovn".encode(), run.phonebook())

        # An empty book is a failed run: it must not empty the phone's phonebook.
        before = run.snapshot()
        run.write_ini(carddav_lines(self.server.url(), "otto") + "CARDDAV_BOOK=Private\n" + FIELDS)
        code, errors = run()
        self.assertEqual(code, 1)
        self.assertIn("holds no card", errors)
        after = run.snapshot()
        del after["quorlan.ini"], before["quorlan.ini"]
        self.assertEqual(after, before)


    def test_init_for_a_family_then_run_and_explain(self):
        zoe = servers.Dav(self.server.url(), "zoe", "secret")
        zoe.make_book("/zoe/book/", "Book")
        cards = {"z.vcf": servers.card("z", "Zelená Zoe", "+420600000005")}
        zoe.put("/zoe/book/z.vcf", cards["z.vcf"])
        run = Run(self, "", {"QUORLAN_USER": "zoe", "QUORLAN_PASSWORD": "secret"})
        os.remove(os.path.join(run.folder, "quorlan.ini"))
        result = subprocess.run([QUORLAN, "--init", "--for", "yealink", self.server.url()], cwd=run.folder,
                                env=run.env, capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("CARDDAV_PASSWORD_FROM=env:QUORLAN_PASSWORD\n", result.stdout)
        self.assertEqual(run(), (0, ""))
        with open(os.path.join(run.folder, "yealink-phonebook.xml"), "rb") as f:
            self.assertIn("<Name>Zoe Zelená</Name>".encode(), f.read())
        explained = subprocess.run([QUORLAN, "--explain"], cwd=run.folder, env=run.env, capture_output=True,
                                   text=True, timeout=60)
        self.assertEqual(explained.returncode, 0, explained.stderr)
        self.assertIn('its cards kept in the folder "carddav"', explained.stdout)


class TlsTest(unittest.TestCase):
    """Radicale over TLS with a certificate of its own: refused without CARDDAV_CA=, taken with it."""

    def test_own_certificate_needs_the_ca_line(self):
        storage = tempfile.mkdtemp(prefix="carddav-tls-")
        self.addCleanup(subprocess.run, ["rm", "-rf", storage])
        cert, key = os.path.join(storage, "cert.pem"), os.path.join(storage, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                        "-nodes", "-keyout", key, "-out", cert, "-days", "2", "-subj", "/CN=127.0.0.1",
                        "-addext", "subjectAltName=IP:127.0.0.1"], check=True, capture_output=True)
        server = servers.radicale(storage, {"anna": "secret"}, tls=(cert, key))
        self.addCleanup(server.stop)
        base = "https://127.0.0.1:%d" % server.port
        dav = servers.Dav(base, "anna", "secret", ssl.create_default_context(cafile=cert))
        dav.make_book("/anna/book/", "Book")
        dav.put("/anna/book/a.vcf", CARDS["a.vcf"])
        run = Run(self, carddav_lines(base + "/") + FIELDS)
        code, errors = run()
        self.assertEqual(code, 1)
        self.assertIn("TLS failure", errors)
        self.assertIn("CARDDAV_CA=", errors)
        self.assertFalse(os.path.exists(os.path.join(run.folder, "carddav")))
        run.write_ini(carddav_lines(base + "/") + "CARDDAV_CA=%s\n" % cert + FIELDS)
        self.assertEqual(run(), (0, ""))
        self.assertEqual(run.phonebook(), converted_from_a_file(self, {"a.vcf": CARDS["a.vcf"]}))


class XandikosTest(unittest.TestCase, SyncCycle):
    """Xandikos writes every element with an "ns0:" prefix and its own token form; it has no
    authentication of its own, so it is asked without a login."""

    def test_sync_cycle_from_the_server_root(self):
        storage = tempfile.mkdtemp(prefix="carddav-xandikos-")
        self.addCleanup(subprocess.run, ["rm", "-rf", storage])
        server = servers.xandikos(storage)
        self.addCleanup(server.stop)
        run = Run(self, carddav_lines(server.url(), user=None) + FIELDS)
        self.check_sync_cycle(run, servers.Dav(server.url()), "/user/contacts/addressbook/")


CARDS = {"a.vcf": servers.card("a", "Novák Jan", "+420603123456"),
         "b.vcf": servers.card("b", "Dvořák Eva", "+420604000111")}


class FaultTest(unittest.TestCase):
    def book(self, fault=None):
        book = fault_server.FaultBook(CARDS, fault)
        self.addCleanup(book.stop)
        return book

    def test_answers_that_work_in_the_end(self):
        for fault, setup in [("busy", lambda b: setattr(b, "busy", 2)),
                             ("truncate", None),
                             ("nosync", None),
                             ("digest", lambda b: setattr(b, "digest_user", ("anna", "secret")))]:
            with self.subTest(fault):
                book = self.book(fault)
                if setup:
                    setup(book)
                run = Run(self, carddav_lines(book.url()) + FIELDS)
                self.assertEqual(run(), (0, ""))
                self.assertEqual(run.phonebook(), converted_from_a_file(self, CARDS))

    def test_faults_fail_in_one_line_and_leave_everything_as_it_was(self):
        for fault, extra, message in [("malformed", "", "line 2, column"),
                                      ("huge", "", "over 64 MiB"),
                                      ("stall", "CARDDAV_TIMEOUT=1\n", "stopped answering for 1 s"),
                                      ("short", "", "cut short"),
                                      ("multiget500", "", "answered 500")]:
            with self.subTest(fault):
                book = self.book()
                run = Run(self, carddav_lines(book.url()) + extra + FIELDS)
                self.assertEqual(run(), (0, ""))
                # A card changes, then the server fails: the old phonebook and folder stay.
                book.cards["a.vcf"] = ('"new"', servers.card("a", "Jiný Jan", "+420600000009"))
                book.fault = fault
                before = run.snapshot()
                code, errors = run()
                self.assertEqual(code, 1, errors)
                self.assertIn(message, errors)
                self.assertEqual(errors.count("\n"), 1, errors)
                self.assertEqual(run.snapshot(), before)

    def test_credentials_never_follow_a_redirect_to_another_port(self):
        elsewhere = self.book()
        elsewhere.needs_login = True
        book = self.book()
        book.needs_login = True
        book.redirect_to = elsewhere.url("")
        run = Run(self, carddav_lines(book.url()) + FIELDS)
        code, errors = run()
        self.assertEqual(code, 1)
        self.assertIn("go to no other server", errors)
        self.assertTrue(elsewhere.authorizations)
        self.assertEqual(set(elsewhere.authorizations), {None})
        self.assertIn("Basic " + base64.b64encode(b"anna:secret").decode(), book.authorizations)


if __name__ == "__main__":
    QUORLAN = os.path.abspath(sys.argv[1])
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:], verbosity=1)
