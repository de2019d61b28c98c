#!/usr/bin/python3
"""A browser for tests: fetches the sign-in address it is given and follows
the redirects, as a person finishing the sign-in would. It goes to loopback
addresses only and says nothing of what it saw.

  headless_browser.py [--favicon] [--foreign] [--crowd N] URL

--favicon  after the page the sign-in ends on, asks the same address for
           /favicon.ico, as desktop browsers do, then loads the page again,
           as a person pressing reload does; both must be refused
--foreign  before following the redirect to the loopback answer, sends that
           address what another program on the machine could: a code with a
           wrong state, an error with a wrong state, no state, an oversized
           request. Each must be refused with a 4xx, else this exits with 3.
--crowd N  while the answer is on its way, another program holds N
           connections to that address that send nothing, and opens a new
           one for each that is dropped.
"""
import select
import socket
import sys
import threading
import urllib.error
import urllib.parse
import urllib.request

LOOPBACK = {"127.0.0.1", "localhost", "::1"}


def loopback_only(url):
    if urllib.parse.urlsplit(url).hostname not in LOOPBACK:
        sys.stderr.write("headless_browser: refusing an address off this machine\n")
        sys.exit(2)


def status_of(opener, url):
    try:
        with opener.open(url, timeout=30) as answer:
            answer.read()
            return answer.status
    except urllib.error.HTTPError as error:
        return error.code


def status_if_reachable(opener, url):
    try:
        return status_of(opener, url)
    except urllib.error.URLError:
        return None


def oversized_status(url):
    """The status of a 64 KB request; 400 when it was cut off unanswered."""
    parts = urllib.parse.urlsplit(url)
    try:
        with socket.create_connection((parts.hostname, parts.port), timeout=30) as connection:
            connection.sendall(b"GET /?junk=" + b"x" * 65536 + b" HTTP/1.1\r\nHost: localhost\r\n\r\n")
            line = connection.makefile("rb").readline()
    except (ConnectionResetError, BrokenPipeError):
        return 400
    fields = line.split()
    return int(fields[1]) if len(fields) > 1 else 400


def send_foreign_requests(opener, answer_url):
    parts = urllib.parse.urlsplit(answer_url)
    base = "%s://%s/" % (parts.scheme, parts.netloc)
    statuses = [status_of(opener, base + "?" + query) for query in (
        "code=stolen&state=wrong", "error=access_denied&error_description=%3Ca+href%3Dx%3Eclick%3C%2Fa%3E&state=wrong",
        "code=stolen")]
    statuses.append(oversized_status(answer_url))
    if not all(400 <= status < 500 for status in statuses):
        sys.stderr.write("headless_browser: a foreign request was not refused: %r\n" % statuses)
        sys.exit(3)


def crowd(address, count, done):
    held = []
    try:
        while not done.is_set():
            while len(held) < count:
                held.append(socket.create_connection(address, timeout=5))
            dropped, _, _ = select.select(held, [], [], 0.05)
            for connection in dropped:
                held.remove(connection)
                connection.close()
    except OSError:
        pass  # the port has closed: the sign-in is over
    for connection in held:
        connection.close()


class LoopbackRedirects(urllib.request.HTTPRedirectHandler):
    def __init__(self, opener_for_foreign, crowd_size):
        super().__init__()
        self.opener_for_foreign = opener_for_foreign
        self.crowd_size = crowd_size
        self.crowd_done = threading.Event()
        self.answer_url = None

    def redirect_request(self, req, fp, code, msg, headers, newurl):
        loopback_only(newurl)
        if "state=" in urllib.parse.urlsplit(newurl).query:
            self.answer_url = newurl
            if self.opener_for_foreign:
                send_foreign_requests(self.opener_for_foreign, newurl)
            if self.crowd_size:
                parts = urllib.parse.urlsplit(newurl)
                threading.Thread(target=crowd, args=((parts.hostname, parts.port), self.crowd_size, self.crowd_done),
                                 daemon=True).start()
                self.crowd_done.wait(0.5)
        return super().redirect_request(req, fp, code, msg, headers, newurl)


def main():
    args = sys.argv[1:]
    favicon = "--favicon" in args
    foreign = "--foreign" in args
    crowd_size = int(args[args.index("--crowd") + 1]) if "--crowd" in args else 0
    urls = [arg for i, arg in enumerate(args) if not arg.startswith("--") and (i == 0 or args[i - 1] != "--crowd")]
    if len(urls) != 1:
        sys.stderr.write("usage: headless_browser.py [--favicon] [--foreign] [--crowd N] URL\n")
        return 2
    loopback_only(urls[0])
    # No proxy: whatever the environment says, the request stays on this machine.
    plain = urllib.request.build_opener(urllib.request.ProxyHandler({}))
    redirects = LoopbackRedirects(plain if foreign else None, crowd_size)
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}), redirects)
    try:
        opener.open(urls[0], timeout=30).read()
        if favicon and redirects.answer_url:
            parts = urllib.parse.urlsplit(redirects.answer_url)
            # Refused outright is fine too: the sign-in may be over already.
            if status_if_reachable(plain, "%s://%s/favicon.ico" % (parts.scheme, parts.netloc)) not in (404, None):
                sys.stderr.write("headless_browser: the icon was not refused\n")
                return 3
            if status_if_reachable(plain, redirects.answer_url) not in (400, None):
                sys.stderr.write("headless_browser: the answer was taken twice\n")
                return 3
    except urllib.error.HTTPError as error:
        # A person's browser shows the error page and does not fail.
        sys.stderr.write("headless_browser: HTTP %d\n" % error.code)
    except OSError as error:
        sys.stderr.write("headless_browser: %s\n" % type(error).__name__)
        return 1
    finally:
        redirects.crowd_done.set()
    return 0


if __name__ == "__main__":
    sys.exit(main())
