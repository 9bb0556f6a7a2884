#!/usr/bin/env python3
"""The user's browser in the sandbox: the system's Chromium, headless, driven through chromedriver
over the WebDriver protocol (JSON over loopback; the standard library only). One browser stays
open for the whole session, as a user's does: chromedriver listens on port $BROWSER_DRIVER and
`start` prints the session every later command names in $BROWSER_SESSION.

  browser.py start PROFILE        open the browser with the profile folder PROFILE
  browser.py stop                 close it
  browser.py sign-in PAGE         open PAGE (what the program asked the desktop to open), press
                                  the allow button as a user would, and print the URL of our
                                  own scheme the service sent the browser on to, then the time
                                  of the click (epoch milliseconds)
  browser.py foreign-post PAGE    open PAGE, then post its form from a page of another origin;
                                  succeeds when the service refuses it
  browser.py trusts URL           load URL over TLS; succeeds when the browser took the
                                  server's certificate (whatever the answer's status)

Diagnostics go to stderr; never the sign-in state."""

import http.server
import json
import os
import sys
import threading
import time
import urllib.error
import urllib.parse
import urllib.request

CHROMIUM = "/usr/bin/chromium"
CALLBACK_SCHEME = "wrenly-auth:"
ALLOW_BUTTON = 'form button[name="decision"][value="allow"]'


def log(message):
    print("browser: " + message, file=sys.stderr, flush=True)


def poll(what, attempt, seconds):
    """attempt() until it returns something other than None, at most `seconds` long."""
    deadline = time.monotonic() + seconds
    while True:
        result = attempt()
        if result is not None:
            return result
        if time.monotonic() > deadline:
            raise RuntimeError("timed out waiting for " + what)
        time.sleep(0.05)


class WebDriverError(RuntimeError):
    pass


class Browser:
    """One WebDriver session of the chromedriver listening on $BROWSER_DRIVER (a port)."""

    def __init__(self):
        self.port = int(os.environ["BROWSER_DRIVER"])
        self.session = os.environ.get("BROWSER_SESSION")

    def start(self, profile):
        poll("chromedriver", self._ready, 20)
        args = [
            "--headless=new",
            "--user-data-dir=" + profile,
            "--no-first-run",
            "--no-default-browser-check",
            "--disable-gpu",
            "--disable-dev-shm-usage",
            "--window-size=900,700",
        ]
        if os.geteuid() == 0:
            args.append("--no-sandbox")  # Chromium refuses its sandbox to root
        capabilities = {
            "browserName": "chrome",
            "goog:chromeOptions": {"binary": CHROMIUM, "args": args},
            "goog:loggingPrefs": {"performance": "ALL"},
        }
        reply = self._call("POST", "/session", {"capabilities": {"alwaysMatch": capabilities}})
        self.session = reply["sessionId"]
        return self.session

    def _ready(self):
        try:
            with urllib.request.urlopen("http://127.0.0.1:%d/status" % self.port, timeout=2) as r:
                return True if json.load(r)["value"].get("ready") else None
        except (OSError, ValueError, KeyError):
            return None

    def _call(self, method, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(
            "http://127.0.0.1:%d%s" % (self.port, path),
            data=data,
            method=method,
            headers={"Content-Type": "application/json"},
        )
        try:
            with urllib.request.urlopen(request, timeout=60) as r:
                value = json.load(r)["value"]
        except urllib.error.HTTPError as e:
            value = json.load(e).get("value", {})
            raise WebDriverError("%s %s: %s" % (method, path.split("/")[-1], value.get("error")))
        return value

    def _session(self, method, path, body=None):
        return self._call(method, "/session/%s%s" % (self.session, path), body)

    def go(self, url):
        try:
            self._session("POST", "/url", {"url": url})
        except WebDriverError as e:
            log("navigation ended without a page (%s)" % e)

    def current_url(self):
        return self._session("GET", "/url")

    def find(self, css):
        try:
            found = self._session("POST", "/element", {"using": "css selector", "value": css})
        except WebDriverError:
            return None
        return next(iter(found.values()))

    def click(self, element):
        try:
            self._session("POST", "/element/%s/click" % element, {})
        except WebDriverError as e:
            # Sent on to a scheme no headless browser can open, the click's navigation fails.
            log("the click's navigation ended without a page (%s)" % e)

    def events(self):
        """The DevTools events the browser logged since the last call."""
        entries = self._session("POST", "/se/log", {"type": "performance"})
        return [json.loads(entry["message"])["message"] for entry in entries]

    def stop(self):
        self._call("DELETE", "/session/" + self.session)


def header(headers, name):
    for key, value in (headers or {}).items():
        if key.lower() == name:
            return value
    return None


class Exchanges:
    """What the browser sent and got back, by request, from its DevTools network events."""

    def __init__(self):
        self.requests = {}

    def take(self, events):
        for event in events:
            params = event.get("params", {})
            entry = self.requests.setdefault(params.get("requestId"), {})
            method = event.get("method")
            if method == "Network.requestWillBeSent":
                entry.setdefault("url", params["request"]["url"])
                entry.setdefault("method", params["request"]["method"])
                redirect = params.get("redirectResponse")
                if redirect:
                    entry.setdefault("status", redirect.get("status"))
                    entry.setdefault("location", header(redirect.get("headers"), "location"))
            elif method == "Network.requestWillBeSentExtraInfo":
                entry.setdefault("origin", header(params.get("headers"), "origin"))
            elif method == "Network.responseReceivedExtraInfo":
                entry.setdefault("status", params.get("statusCode"))
                entry.setdefault("location", header(params.get("headers"), "location"))
            elif method == "Network.responseReceived":
                entry.setdefault("status", params["response"].get("status"))

    def posts(self):
        return [e for e in self.requests.values() if e.get("method") == "POST" and "status" in e]


def open_page(browser, page):
    """Opens what the program opened and waits for the sign-in form it leads to."""
    target = page if "://" in page else "file://" + urllib.parse.quote(os.path.abspath(page))
    browser.go(target)
    button = poll("the allow button", lambda: browser.find(ALLOW_BUTTON), 20)
    url = browser.current_url()
    log("sign-in page shown at %s" % urllib.parse.urlsplit(url)._replace(query="").geturl())
    return button, url


def origin_of(url):
    parts = urllib.parse.urlsplit(url)
    return "%s://%s" % (parts.scheme, parts.netloc)


def sign_in(page):
    browser = Browser()
    button, url = open_page(browser, page)
    browser.events()  # what came before the click
    exchanges = Exchanges()
    clicked = int(time.time() * 1000)
    browser.click(button)

    def answered():
        exchanges.take(browser.events())
        posts = exchanges.posts()
        return posts[-1] if posts else None

    post = poll("the answer to the form", answered, 20)
    if post.get("origin") is None:
        poll("the headers the form went with", lambda: answered().get("origin"), 5)
    log("form sent with Origin %s; answer %s" % (post.get("origin"), post.get("status")))
    if post.get("origin") != origin_of(url):
        raise RuntimeError("the form went with another origin than its page's")
    location = post.get("location") or ""
    if not location.startswith(CALLBACK_SCHEME):
        raise RuntimeError("the service did not send the browser on to the program")
    print(location)
    print(clicked, flush=True)


FOREIGN_PAGE = """<!DOCTYPE html><html><body>
<form method="post" action="{action}">
<input type="hidden" name="state" value="{state}">
<button type="submit" name="decision" value="allow">allow</button>
</form></body></html>"""


def foreign_post(page):
    browser = Browser()
    server = None
    try:
        _, url = open_page(browser, page)
        parts = urllib.parse.urlsplit(url)
        state = urllib.parse.parse_qs(parts.query)["state"][0]
        action = parts._replace(query="").geturl()
        body = FOREIGN_PAGE.format(action=action, state=state).encode()

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):
                self.send_response(200)
                self.send_header("Content-Type", "text/html; charset=utf-8")
                self.send_header("Content-Length", str(len(body)))
                self.end_headers()
                self.wfile.write(body)

            def log_message(self, *args):
                pass

        server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        elsewhere = "http://127.0.0.1:%d/" % server.server_address[1]
        browser.go(elsewhere)
        button = poll("the other page's button", lambda: browser.find(ALLOW_BUTTON), 20)
        browser.events()  # what came before the click
        exchanges = Exchanges()
        browser.click(button)

        def answered():
            exchanges.take(browser.events())
            posts = [p for p in exchanges.posts() if p.get("origin")]
            return posts[-1] if posts else None

        post = poll("the answer to the other page's form", answered, 20)
        log("other page's form sent with Origin %s; answer %s" % (post["origin"], post["status"]))
        if post["origin"] != origin_of(elsewhere):
            raise RuntimeError("the other page's form went with an unexpected origin")
        if post["status"] != 403:
            raise RuntimeError("the service took a form posted from another origin")
    finally:
        if server:
            server.shutdown()


def trusts(url):
    browser = Browser()
    browser.go(url)

    ours = set()

    def outcome():
        for event in browser.events():
            method, params = event.get("method"), event.get("params", {})
            if method == "Network.requestWillBeSent" and params["request"]["url"] == url:
                ours.add(params["requestId"])
            elif params.get("requestId") not in ours:
                continue  # the browser's own traffic, or the page's icon
            elif method == "Network.responseReceived":
                return True
            elif method == "Network.loadingFailed":
                log("loading failed: %s" % params.get("errorText"))
                return False
        return None

    if not poll("the answer over TLS", outcome, 20):
        raise RuntimeError("the browser did not take the server's certificate")
    log("the browser trusts %s" % origin_of(url))


def start(profile):
    print(Browser().start(profile))


def stop():
    Browser().stop()


def main():
    commands = {
        "start": (start, 1),
        "stop": (stop, 0),
        "sign-in": (sign_in, 1),
        "foreign-post": (foreign_post, 1),
        "trusts": (trusts, 1),
    }
    command, count = commands.get(sys.argv[1] if len(sys.argv) > 1 else "", (None, -1))
    if command is None or len(sys.argv) != 2 + count:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        command(*sys.argv[2:])
    except (RuntimeError, OSError, KeyError) as e:
        log("failed: %s" % e)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
