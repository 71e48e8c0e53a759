#!/usr/bin/env python3
"""A person's whole round through tessera-ca's pages, in headless Chromium, in English and German.

usage: browser_pages.py TESSERA_CA SCREENSHOT_DIR

Each page is opened once: its DOM is checked (title, heading, labels, form fields) and a
screenshot kept, English at 1280 px and German at 375 px wide, the start page at both. Every next
page is reached through a link or form of the last, filled in as a person would. The start page
follows the browser's Accept-Language; every later page is asked for by a browser that wants the
other language and must keep the one its link or form carries. The applicant's data is hostile:
a script it smuggled in would change document.title. Exits 77 (skipped) when Chromium is missing.
"""
import html.parser
import itertools
import shutil
import subprocess
import sys
import tempfile
import urllib.parse

CHROMIUM = shutil.which("chromium")
FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--hide-scrollbars"]
FIRST = 'Eve" tabindex=0 autofocus onfocus="document.title=1'
ORG = "O'Neil' autofocus onfocus='document.title=2 &lt;b&gt;"
STEPS = itertools.count(1)

# Per page: its title in each language, and the labels its forms show.
PAGES = {
    "start": (("Your certificates", "Ihre Zertifikate"), (), ()),
    "create": (("Apply for a certificate", "Zertifikat beantragen"),
               ("Your password", "Key request (SPKAC)"), ("Ihr Passwort", "Schlüsselantrag (SPKAC)")),
    "submit": (("Application received", "Antrag eingegangen"), (), ()),
    "certificate": (("Your certificate", "Ihr Zertifikat"), (), ()),
    "pickup": (("Pick up a certificate", "Zertifikat abholen"), (), ()),
    "check": (("Check a certificate", "Zertifikat prüfen"), ("Serial number",), ("Seriennummer",)),
    "revoke": (("Revoke a certificate", "Zertifikat sperren"), (), ()),
    "crl": (("Revocation list", "Sperrliste"), (), ()),
    "refused": (("Request refused", "Anfrage abgelehnt"), (), ()),
}


class Dom(html.parser.HTMLParser):
    """What a person sees of a page: title, heading, labels, cells, text blocks, links, forms."""

    def __init__(self, text):
        super().__init__()
        self.texts = {"title": [], "h1": [], "label": [], "td": [], "pre": [], "p": []}
        self.open, self.links, self.forms = [], [], []
        self.feed(text)
        self.title, self.h1 = "".join(self.texts["title"]), "".join(self.texts["h1"])

    def handle_starttag(self, tag, attributes):
        attributes = dict(attributes)
        if tag in self.texts:
            self.open.append(tag)
            self.texts[tag].append("")
        elif tag == "a":
            self.links.append(attributes["href"])
        elif tag == "form":
            self.forms.append((attributes["action"], {}))
        elif tag in ("input", "textarea"):
            self.forms[-1][1][attributes["name"]] = attributes.get("value", "")

    def handle_endtag(self, tag):
        if self.open and self.open[-1] == tag:
            self.open.pop()

    def handle_data(self, data):
        if self.open:
            self.texts[self.open[-1]][-1] += data

    def link(self, path):
        return next(link for link in self.links if urllib.parse.urlparse(link).path.endswith(path))

    def form(self, path, **filled):
        action, fields = next(form for form in self.forms if form[0].endswith(path))
        check(set(filled) <= set(fields), f"{path}: the form's fields {sorted(fields)}")
        return action + "?" + urllib.parse.urlencode({**fields, **filled})


def check(condition, what):
    if not condition:
        sys.exit("FAILED: " + what)


def opened(url, page, language, shots, width, accept=None):
    """The page's DOM once Chromium has loaded it, checked against what PAGES says. Unless told,
    the browser asks for the other language: the page must keep the one its link or form names."""
    name = f"{next(STEPS):02d}-{page}-{language}-{width}"
    with tempfile.TemporaryDirectory() as profile:
        run = subprocess.run([CHROMIUM, *FLAGS, f"--user-data-dir={profile}",
                              f"--accept-lang={accept or ('en' if language == 'de' else 'de')}",
                              f"--window-size={width},1200",
                              f"--screenshot={shots}/{name}.png", "--dump-dom", url],
                             capture_output=True, text=True, timeout=60, check=True)
    dom = Dom(run.stdout)
    titles, english, german = PAGES[page]
    title = titles[language == "de"]
    check(dom.title == title + " \u2013 Tessera CA", f"{name}: title {dom.title!r}")
    check(dom.h1 == title, f"{name}: heading {dom.h1!r}")
    for label in english if language == "en" else german:
        check(any(text.startswith(label) for text in dom.texts["label"]), f"{name}: {label}")
    return dom


def round_through(start, language, shots, width):
    """Apply, pick up, check, revoke and fetch the list, only through the pages' own forms."""
    home = opened(start, "start", language, shots, width, accept=language)
    check(len(home.links) == 7, "start: six actions and the other language")
    create = opened(home.link("/create"), "create", language, shots, width)
    check(FIRST in create.texts["td"] and ORG in create.texts["td"], "create: the applicant")
    challenge = create.texts["pre"][0].split()[-1]
    with tempfile.TemporaryDirectory() as keys:
        subprocess.run(["openssl", "genpkey", "-algorithm", "EC", "-pkeyopt",
                        "ec_paramgen_curve:P-256", "-out", f"{keys}/key.pem"], check=True)
        spkac = subprocess.run(["openssl", "spkac", "-key", f"{keys}/key.pem", "-digest",
                                "sha256", "-challenge", challenge], capture_output=True,
                               text=True, check=True).stdout
    filled = {"-ident-TO_passwd": PASSWORD, "-key_challenge": spkac, "-ident_check_AGB": "yes"}
    submitted = opened(create.form("/submit", **filled), "submit", language, shots, width)
    issued = opened(submitted.form("/fetch"), "certificate", language, shots, width)
    check("BEGIN PKCS7" in issued.texts["pre"][0], "certificate: the PEM chain")
    serial = issued.texts["td"][1]
    pickup = opened(home.link("/pickup"), "pickup", language, shots, width)
    opened(pickup.form("/pickup/fetch"), "certificate", language, shots, width)
    asked = opened(home.link("/check"), "check", language, shots, width)
    state = opened(asked.form("/check/state", **{"-serial": serial}), "check", language, shots,
                   width)
    check(("The certificate is valid.", "Das Zertifikat ist gültig.")[language == "de"] in
          state.texts["p"], "check: the state in words")
    chosen = opened(home.link("/revoke"), "revoke", language, shots, width)
    confirm = opened(chosen.form("/revoke/select"), "revoke", language, shots, width)
    check(serial in confirm.texts["td"], "revoke: the chosen certificate")
    opened(confirm.form("/revoke/confirm"), "revoke", language, shots, width)
    crl = opened(home.link("/crl"), "crl", language, shots, width)
    check({"/crl", "/ca.crt", "/ca.pem"} <= set(crl.links), "crl: the downloads")
    listed = opened(crl.form("/crl/fetch"), "crl", language, shots, width)
    check("BEGIN X509 CRL" in listed.texts["pre"][0], "crl: the PEM list")
    again = opened(home.link("/create"), "create", language, shots, width)
    refused = opened(again.form("/submit", **{**filled, "-ident-TO_passwd": "wrong"}), "refused",
                     language, shots, width)
    check("2" in refused.texts["td"], "refused: the refusal number")


if __name__ == "__main__":
    if not CHROMIUM:
        print("chromium is missing")
        sys.exit(77)
    tessera_ca, shots = sys.argv[1], sys.argv[2]
    subprocess.run(["mkdir", "-p", shots], check=True)
    with tempfile.TemporaryDirectory() as directory:
        subprocess.run([tessera_ca, "init", directory], capture_output=True, check=True)
        added = subprocess.run([tessera_ca, "applicant", "add", directory, "--first", FIRST,
                                "--last", "Muster", "--email", "eve@example.org", "--org", ORG,
                                "--country", "DE"], capture_output=True, text=True, check=True)
        lines = dict(line.split(" ", 1) for line in added.stdout.splitlines())
        PASSWORD = lines["password"]
        server = subprocess.Popen([tessera_ca, "serve", directory, "--port", "0", "--tls-port",
                                   "0"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                  text=True)
        try:
            port = server.stdout.readline().split()[1]
            start = f"http://127.0.0.1:{port}/a/{lines['start'].split('/a/')[1]}"
            opened(start, "start", "en", shots, 375, accept="en")
            opened(start, "start", "de", shots, 1280, accept="de-DE,de;q=0.9,en;q=0.8")
            round_through(start, "en", shots, 1280)
            round_through(start, "de", shots, 375)
        finally:
            server.terminate()
            server.wait()
    print("every page passed in English and German; screenshots in", shots)
