"""A small CardDAV book in the standard library that answers faults on demand: what real
servers don't do when asked (malformed XML, an endless answer, 503, a stall, a truncated
sync, a redirect elsewhere, Digest authentication, no sync at all)."""

import hashlib
import http.server
import re
import threading
import time

BOOK = "/book/"
MULTISTATUS = '<?xml version="1.0" encoding="utf-8"?>\n<D:multistatus xmlns:D="DAV:" xmlns:C="urn:ietf:params:xml:ns:carddav">%s</D:multistatus>'


def response(href, props="", status="HTTP/1.1 200 OK"):
    return ("<D:response><D:href>%s</D:href><D:propstat><D:prop>%s</D:prop><D:status>%s</D:status>"
            "</D:propstat></D:response>" % (href, props, status))


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def send(self, status, body="", headers=()):
        data = body.encode()
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        self.send_header("Content-Length", str(len(data)))
        if data:
            self.send_header("Content-Type", "application/xml; charset=utf-8")
        self.end_headers()
        self.wfile.write(data)

    def authorised(self):
        book = self.server.book
        seen = self.headers.get("Authorization")
        book.authorizations.append(seen)
        if book.digest_user:
            return self.check_digest(seen)
        return not book.needs_login or seen is not None

    def check_digest(self, seen):
        book = self.server.book
        if seen and seen.startswith("Digest "):
            p = dict(re.findall(r'(\w+)="?([^",]*)"?', seen))
            ha1 = hashlib.md5(("%s:r:%s" % book.digest_user).encode()).hexdigest()
            ha2 = hashlib.md5(("%s:%s" % (self.command, p.get("uri", ""))).encode()).hexdigest()
            expected = hashlib.md5(":".join([ha1, p.get("nonce", ""), p.get("nc", ""), p.get("cnonce", ""),
                                             p.get("qop", ""), ha2]).encode()).hexdigest()
            if p.get("response") == expected and p.get("username") == book.digest_user[0]:
                return True
        self.send(401, "", [("WWW-Authenticate", 'Digest realm="r", nonce="n0nce", qop="auth", algorithm=MD5')])
        return False

    def do_PROPFIND(self):
        self.handle_dav()

    def do_REPORT(self):
        self.handle_dav()

    def handle_dav(self):
        book = self.server.book
        body = self.rfile.read(int(self.headers.get("Content-Length", "0"))).decode()
        book.requests.append((self.command, self.path, body))
        if not self.authorised():
            if not book.digest_user:
                self.send(401, "", [("WWW-Authenticate", 'Basic realm="r"')])
            return
        if book.redirect_to:
            self.send(301, "", [("Location", book.redirect_to + self.path)])
            return
        if book.busy > 0:
            book.busy -= 1
            self.send(503, "", [("Retry-After", "1")])
            return
        if self.command == "PROPFIND" and self.headers.get("Depth") == "0":
            self.send(207, MULTISTATUS % response(BOOK, "<D:resourcetype><D:collection/><C:addressbook/>"
                                                        "</D:resourcetype><D:displayname>Faults</D:displayname>"))
        elif self.command == "PROPFIND":
            members = "".join(response(BOOK + name, "<D:getetag>%s</D:getetag>" % etag)
                              for name, (etag, _) in sorted(book.cards.items()))
            self.send(207, MULTISTATUS % (response(BOOK, "<D:resourcetype><D:collection/></D:resourcetype>") + members))
        elif "sync-collection" in body:
            self.sync(book, body)
        elif "addressbook-multiget" in body:
            self.multiget(book, body)
        else:
            self.send(400)

    def sync(self, book, body):
        if book.fault == "nosync":
            self.send(501)
        elif book.fault == "malformed":
            self.send(207, MULTISTATUS % "<D:response><D:href>/book/a.vcf</D:href></D:respons>")
        elif book.fault == "short":
            # Fewer bytes than announced, then the connection closes.
            self.send_response(207)
            self.send_header("Content-Length", "1000")
            self.end_headers()
            self.wfile.write(b'<?xml version="1.0"?><D:multistatus xmlns:D="DAV:">')
            self.close_connection = True
        elif book.fault == "stall":
            self.send_response(207)
            self.send_header("Content-Length", "1000")
            self.end_headers()
            self.wfile.write(b"<?xml version='1.0'?>")
            self.wfile.flush()
            time.sleep(book.stall_seconds)
        elif book.fault == "huge":
            self.send_response(207)
            self.send_header("Transfer-Encoding", "chunked")
            self.end_headers()
            piece = b" " * (1 << 20)
            try:
                self.wfile.write(b'%x\r\n<D:multistatus xmlns:D="DAV:">\r\n' % len(b'<D:multistatus xmlns:D="DAV:">'))
                for _ in range(80):
                    self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
                self.wfile.write(b"0\r\n\r\n")
            except OSError:
                pass
        elif book.fault == "truncate" and "<D:sync-token></D:sync-token>" in body.replace("d:", "D:"):
            # The first page: one card, the collection marked 507, a token to go on from.
            name = sorted(book.cards)[0]
            self.send(207, MULTISTATUS % (response(BOOK + name, "<D:getetag>%s</D:getetag>" % book.cards[name][0]) +
                                          "<D:response><D:href>%s</D:href><D:status>HTTP/1.1 507 Insufficient "
                                          "Storage</D:status></D:response><D:sync-token>page2</D:sync-token>" % BOOK))
        else:
            members = "".join(response(BOOK + name, "<D:getetag>%s</D:getetag>" % etag)
                              for name, (etag, _) in sorted(book.cards.items()))
            self.send(207, MULTISTATUS % (members + "<D:sync-token>t%d</D:sync-token>" % len(book.requests)))

    def multiget(self, book, body):
        if book.fault == "multiget500":
            self.send(500)
            return
        answers = ""
        for href in re.findall(r"<d:href>([^<]*)</d:href>", body):
            name = href[len(BOOK):]
            if name in book.cards:
                etag, text = book.cards[name]
                answers += response(href, "<D:getetag>%s</D:getetag><C:address-data>%s</C:address-data>" % (etag, text))
            else:
                answers += "<D:response><D:href>%s</D:href><D:status>HTTP/1.1 404 Not Found</D:status></D:response>" % href
        self.send(207, MULTISTATUS % answers)


class FaultBook:
    """The book's state and the fault to answer; runs on 127.0.0.1 on a free port."""

    def __init__(self, cards, fault=None):
        self.cards = {name: ('"%d"' % i, text) for i, (name, text) in enumerate(sorted(cards.items()))}
        self.fault = fault
        self.busy = 0
        self.stall_seconds = 4
        self.needs_login = False
        self.digest_user = None
        self.redirect_to = None
        self.requests = []
        self.authorizations = []
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.server.daemon_threads = True
        self.server.book = self
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def url(self, path=BOOK):
        return "http://127.0.0.1:%d%s" % (self.server.server_address[1], path)

    def stop(self):
        self.server.shutdown()
        self.server.server_close()
