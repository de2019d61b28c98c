#!/usr/bin/python3
"""A browser for tests: fetches the sign-in address it is given and follows
the redirects, as a person finishing the sign-in would. It goes to loopback
addresses only and says nothing of what it saw."""
import sys
import urllib.error
import urllib.parse
import urllib.request

LOOPBACK = {"127.0.0.1", "localhost", "::1"}


def loopback_only(url):
    if urllib.parse.urlsplit(url).hostname not in LOOPBACK:
        sys.stderr.write("headless_browser: refusing an address off this machine\n")
        sys.exit(2)


class LoopbackRedirects(urllib.request.HTTPRedirectHandler):
    def redirect_request(self, req, fp, code, msg, headers, newurl):
        loopback_only(newurl)
        return super().redirect_request(req, fp, code, msg, headers, newurl)


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: headless_browser.py URL\n")
        return 2
    loopback_only(sys.argv[1])
    # No proxy: whatever the environment says, the request stays on this machine.
    opener = urllib.request.build_opener(urllib.request.ProxyHandler({}), LoopbackRedirects)
    try:
        opener.open(sys.argv[1], timeout=30).read()
    except urllib.error.HTTPError as error:
        sys.stderr.write("headless_browser: HTTP %d\n" % error.code)
        return 1
    except OSError as error:
        sys.stderr.write("headless_browser: %s\n" % type(error).__name__)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
