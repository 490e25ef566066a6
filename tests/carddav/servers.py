"""CardDAV servers for the tests, each on 127.0.0.1 on a free port with a throwaway
storage folder, started and stopped by the test: Radicale and Xandikos as Debian ships
them, and a small fault server that answers what real servers don't on demand."""

import base64
import http.server
import os
import shutil
import socket
import subprocess
import threading
import time
import urllib.request

DEBIAN_PYTHON = "/usr/bin/python3"


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def wait_for_port(port, process, seconds=15):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if process.poll() is not None:
            raise RuntimeError("the server ended at start: " + open(process.log_name).read()[-2000:])
        try:
            with socket.create_connection(("127.0.0.1", port), timeout=0.2):
                return
        except OSError:
            time.sleep(0.05)
    raise RuntimeError("the server did not start within %d s" % seconds)


class Server:
    """A server process; stop() ends it, also when the test failed."""

    def __init__(self, command, folder, port):
        self.port = port
        self.folder = folder
        log_name = os.path.join(folder, "server.log")
        self.log = open(log_name, "w")
        self.process = subprocess.Popen(command, cwd=folder, stdout=self.log, stderr=subprocess.STDOUT)
        self.process.log_name = log_name
        try:
            wait_for_port(port, self.process)
        except Exception:
            self.stop()
            raise

    def url(self, path="/"):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()


def radicale(folder, users=None, tls=None):
    """Radicale with Basic authentication against a plain htpasswd file of `users`."""
    port = free_port()
    command = [DEBIAN_PYTHON, "-m", "radicale", "--config", "",
               "--server-hosts", "127.0.0.1:%d" % port,
               "--storage-filesystem-folder", os.path.join(folder, "storage"),
               "--logging-level", "warning"]
    if users:
        with open(os.path.join(folder, "users"), "w") as f:
            for name, password in users.items():
                f.write("%s:%s\n" % (name, password))
        command += ["--auth-type", "htpasswd", "--auth-htpasswd-filename", os.path.join(folder, "users"),
                    "--auth-htpasswd-encryption", "plain", "--auth-delay", "0"]
    else:
        command += ["--auth-type", "none"]
    if tls:
        command += ["--server-ssl", "True", "--server-certificate", tls[0], "--server-key", tls[1]]
    server = Server(command, folder, port)
    server.scheme = "https" if tls else "http"
    return server


def xandikos(folder):
    """Xandikos has no authentication of its own: it serves anyone, at /user/contacts/addressbook/."""
    port = free_port()
    command = ["xandikos", "-d", os.path.join(folder, "storage"), "--defaults", "-l", "127.0.0.1",
               "-p", str(port)]
    return Server(command, folder, port)


class Dav:
    """The few requests that fill a server's book, with the standard library."""

    def __init__(self, base, user=None, password=None, context=None):
        self.base = base
        self.headers = {}
        self.context = context
        if user:
            token = base64.b64encode(("%s:%s" % (user, password)).encode()).decode()
            self.headers["Authorization"] = "Basic " + token

    def request(self, method, path, body=None, content_type="application/xml; charset=utf-8"):
        data = body.encode() if isinstance(body, str) else body
        headers = dict(self.headers)
        if data is not None:
            headers["Content-Type"] = content_type
        request = urllib.request.Request(self.base + path, data=data, method=method, headers=headers)
        with urllib.request.urlopen(request, timeout=30, context=self.context) as answer:
            return answer.status

    def make_book(self, path, name):
        return self.request("MKCOL", path,
                            '<?xml version="1.0"?><mkcol xmlns="DAV:" xmlns:CR="urn:ietf:params:xml:ns:carddav">'
                            '<set><prop><resourcetype><collection/><CR:addressbook/></resourcetype>'
                            '<displayname>%s</displayname></prop></set></mkcol>' % name)

    def put(self, path, card):
        return self.request("PUT", path, card, "text/vcard; charset=utf-8")

    def delete(self, path):
        return self.request("DELETE", path)


def card(uid, name, phone, extra=""):
    family, given = name.split(" ", 1) if " " in name else (name, "")
    return ("BEGIN:VCARD\r\nVERSION:3.0\r\nUID:%s\r\nFN:%s %s\r\nN:%s;%s;;;\r\nTEL;TYPE=CELL:%s\r\n%sEND:VCARD\r\n"
            % (uid, given, family, family, given, phone, extra))
