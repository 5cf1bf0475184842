#!/usr/bin/python3
"""A report sent to the collector's own local receiver (Spotlight's sidecar)
and read back from its /stream, parsed with the collector's Python SDK.

Then the product's own route: tamberlin-demo raises an error through its
terminal, the user answers the consent question "always", and the envelope
arrives once; a second error is not asked about again. That second start
hands over the e-mail report an earlier run kept in the Outbox, decoded and
scrubbed, its body and log as attachments of their own.

usage: spotlight.py TAMBERLIN_REPORT PEERS_FOLDER WORK_FOLDER TAMBERLIN_DEMO

Exits 77 (skipped) when the receiver is not installed in PEERS_FOLDER
(./run test installs it there).
"""
import os
import pwd
import re
import shutil
import socket
import subprocess
import sys
import threading
import time
import urllib.request
from email import message_from_bytes, policy

from sentry_sdk.envelope import Envelope

program, peers, work, demo = sys.argv[1:5]
sidecar = os.path.join(peers, "node_modules", ".bin", "spotlight-sidecar")
if not os.path.exists(sidecar):
    print(f"skipped: {sidecar} is missing (./run test installs it)")
    sys.exit(77)

shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
home = os.path.join(work, "home-of-the-reporter")
os.makedirs(home)
user = pwd.getpwuid(os.getuid()).pw_name
host = socket.gethostname()
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAILED:", what)


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


port = free_port()
server = subprocess.Popen(["node", sidecar, str(port)], stdin=subprocess.DEVNULL,
                          stdout=open(os.path.join(work, "sidecar.log"), "wb"),
                          stderr=subprocess.STDOUT, start_new_session=True)
envelopes = {}  # event id -> raw envelope bytes as relayed
relayed = []  # every event id, as often as it was relayed


def read_stream():
    # Server-sent events: one "data:" line per envelope line, a blank line
    # after each envelope.
    request = urllib.request.Request(f"http://127.0.0.1:{port}/stream",
                                     headers={"Accept": "text/event-stream"})
    with urllib.request.urlopen(request, timeout=60) as stream:
        lines = []
        for raw in stream:
            line = raw.rstrip(b"\n")
            if line.startswith(b"data:"):
                lines.append(line[5:])
            elif line == b"" and lines:
                body = b"\n".join(lines)
                found = re.search(rb'"event_id":"([0-9a-f]{32})"', body)
                if found:
                    envelopes[found.group(1).decode()] = body
                    relayed.append(found.group(1).decode())
                lines = []


try:
    for _ in range(100):
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            break
        except OSError:
            time.sleep(0.2)
    threading.Thread(target=read_stream, daemon=True).start()
    time.sleep(0.5)

    # A log whose lines name the home folder, the user and the host, with the
    # error log's CR LF endings, long enough to be sent compressed.
    log = os.path.join(home, "tamberlin-report Error.log")
    with open(log, "wb") as f:
        for i in range(700):
            f.write(f"Dec 7 2026 18:{i % 60:02d}:00, opening {home}/doc{i}.txt, 53, "
                    f"File not found, {user}@{host}, 2\r\n".encode())
    record = os.path.join(home, "crash.rec")
    with open(record, "wb") as f:
        f.write(f"tamberlin crash record\nexception: 0xC0000005\nsignal: 11 1\n"
                f"address: 0x0\nip: 0x55555555a123\ntime: 1796669023 5\nthread: 7 main\n"
                f"operation: saving {home}/doc.txt\nstack: 0x55555555a123\nstack: 0x7ffff7a0b0c0\n"
                f"module: 0x0000555555554000 0123456789abcdef0123456789abcdef01234567 "
                f"{home}/bin/app\nmaps:\n555555554000-555555558000 r-xp 00000000 08:01 9 "
                f"{home}/bin/app\n".encode())

    env = dict(os.environ, HOME=home, TAMBERLIN_DSN=f"http://public0key@127.0.0.1:{port}/42",
               XDG_CONFIG_HOME=os.path.join(work, "config"), XDG_DATA_HOME=os.path.join(work, "data"))
    env.pop("TAMBERLIN_CA_FILE", None)
    runs = {
        "error": ["--message", f"Could not open {home}/doc.txt for {user} on {host}",
                  "--operation", "opening a document", "--number", "53",
                  "--description", "File not found", "--source", "tamberlin-report",
                  "--log", log],
        "crash": ["--crash", record],
    }
    ids = {}
    for name, args in runs.items():
        done = subprocess.run([program, "send", "--queue", os.path.join(work, "queue-" + name),
                               "--wait", "10000"] + args, env=env, capture_output=True, text=True,
                              timeout=60)
        print(name, done.returncode, done.stdout.strip(), done.stderr.strip())
        check(done.returncode == 0, f"{name}: the report left the queue")
        found = re.search(r"^sent ([0-9a-f]{32})$", done.stdout, re.M)
        check(found, f"{name}: the collector took the report")
        if found:
            ids[name] = found.group(1)

    # An e-mail report kept in the Outbox for want of a mail client (no
    # xdg-email on the PATH, no DSN): the home folder in its body where
    # quoted-printable breaks the line, home, user and host in its log.
    mail_env = dict(env, TAMBERLIN_UI="terminal", PATH=os.path.join(work, "no-mail-client"))
    del mail_env["TAMBERLIN_DSN"]
    os.makedirs(mail_env["PATH"])
    lead = "File not found opening "
    op = "opening " + "the document in ".ljust(60 - len(lead), ".") + home + "/doc.txt"
    subprocess.run([demo, "raise", "--number", "53", "--op", op, "--allow-email",
                    "--description", f"No such file for {user} on {host}"], env=mail_env,
                   input="email\nok\nok\n", capture_output=True, text=True, timeout=60)
    emls = [os.path.join(d, f) for d, _, names in os.walk(os.path.join(work, "data"))
            for f in names if f.startswith("report-") and f.endswith(".eml")]
    check(len(emls) == 1, f"outbox: one e-mail report kept ({emls})")
    eml = emls[0] if emls else os.devnull
    kept = open(eml, "rb").read()
    mail = message_from_bytes(kept, policy=policy.default)
    mail_body = mail.get_body().get_content() if emls else ""
    check(home.encode() not in kept and home in mail_body,
          "outbox: the home folder only in the decoded body")

    # The demo, driven through its terminal: OK in the error dialog, then
    # "always"; the second error is sent without a question.
    demo_env = dict(env, TAMBERLIN_UI="terminal")
    for run, answers in enumerate(["ok\nalways\n", "ok\n"]):
        done = subprocess.run([demo, "raise", "--number", "53", "--op", "opening a document",
                               "--description", f"No {home}/doc{run}.txt for {user} on {host}"],
                              env=demo_env, input=answers, capture_output=True, text=True,
                              timeout=60)
        print(f"demo {run}:", done.returncode, done.stdout[-300:], done.stderr.strip())
        asked = "(always, once, never, show)> " in done.stdout
        check(done.returncode == 0 and asked == (run == 0),
              f"demo {run}: the consent question asked {'once' if run == 0 else 'no more'}")
    deadline = time.time() + 20
    while time.time() < deadline and (not all(i in envelopes for i in ids.values()) or
                                      sum(b'"Tamberlin@' in e for e in envelopes.values()) < 3):
        time.sleep(0.2)
    outbox_ids = [i for i, e in envelopes.items() if b'"Outbox report"' in e]
    demo_ids = [i for i, e in envelopes.items()
                if b'"release":"Tamberlin@' in e and i not in outbox_ids]
    check(len(demo_ids) == 2, f"demo: two errors reached the collector ({len(demo_ids)})")
    time.sleep(1)  # a repeated send would have come by now
    for event_id in demo_ids:
        check(relayed.count(event_id) == 1, f"demo: {event_id} arrived once")
        ids[f"demo {event_id[:6]}"] = event_id
    check(len(outbox_ids) == 1 and relayed.count(outbox_ids[0]) == 1,
          f"outbox: the e-mail report arrived once ({outbox_ids})")
    if outbox_ids:
        ids["outbox"] = outbox_ids[0]
    sent = os.path.join(os.path.dirname(eml), "Sent", os.path.basename(eml))
    check(not os.path.exists(eml) and open(sent, "rb").read() == kept,
          "outbox: the e-mail report moved to Sent")

    def expected_text(path, most=64 * 1024):
        data = open(path, "rb").read()
        if len(data) > most:  # the last 64 KB, from a line's start
            data = data[-most:]
            data = data[data.index(b"\n") + 1:]
        return scrubbed(data)

    def scrubbed(data):
        text = data.decode().replace(home, "~")
        text = re.sub(rf"\b{re.escape(host)}\b", "<host>", text)
        return re.sub(rf"\b{re.escape(user)}\b", "<user>", text).encode()

    for name, event_id in ids.items():
        raw = envelopes.get(event_id)
        check(raw is not None, f"{name}: the receiver relayed the envelope")
        if raw is None:
            continue
        check(home.encode() not in raw, f"{name}: no home folder in the bytes")
        check(not re.search(rb"\b" + re.escape(host.encode()) + rb"\b", raw),
              f"{name}: no host name in the bytes")
        check(not re.search(rb"\b" + re.escape(user.encode()) + rb"\b", raw),
              f"{name}: no user name in the bytes")
        envelope = Envelope.deserialize(raw)
        check(envelope.headers.get("event_id") == event_id, f"{name}: header event_id")
        check(envelope.headers.get("dsn") == env["TAMBERLIN_DSN"], f"{name}: header dsn")
        check(re.fullmatch(r"\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ", envelope.headers.get("sent_at", "")),
              f"{name}: header sent_at")
        check(envelope.headers.get("sdk", {}).get("name") == "tamberlin", f"{name}: header sdk")
        event = envelope.get_event()
        attachments = {item.headers.get("filename"): item for item in envelope.items
                       if item.headers.get("type") == "attachment"}
        check(event is not None, f"{name}: an event item")
        if event is None:
            continue
        value = event["exception"]["values"][0]
        check(event["platform"] == "native", f"{name}: platform")
        check(event["release"] in ("tamberlin-report@1.0.0", "Tamberlin@1.0.0"),
              f"{name}: release")
        check(re.fullmatch(r"[0-9a-f]{32}", event["user"]["id"]) is not None, f"{name}: user.id")
        check(event["contexts"]["os"]["name"] == "Linux", f"{name}: os context")
        check(event["contexts"]["device"]["arch"] == os.uname().machine, f"{name}: device arch")
        check(event["contexts"]["app"]["app_version"] == "1.0.0", f"{name}: app context")
        if name.startswith("demo"):
            check(value["type"] == "Error 53" and value["mechanism"]["type"] == "trap",
                  f"{name}: the trapped error")
            check(event["tags"]["operation"] == "opening a document", f"{name}: operation")
            check("error-log.txt" in attachments, f"{name}: the error log attached")
        elif name == "outbox":
            check(value["type"] == "Outbox report", "outbox: exception type")
            body = mail_body.replace("\r\n", "\n").replace("\n", "\r\n")
            want = {"message.txt": scrubbed(body.encode())}
            for part in mail.iter_attachments():
                want[part.get_filename()] = scrubbed(part.get_content())
            got = {n: a.payload.get_bytes() for n, a in attachments.items()}
            check(got == want and b"opening the document in" in got["message.txt"],
                  f"outbox: body and log attached decoded, scrubbed ({list(got)})")
        elif name == "error":
            check(event["level"] == "error", "error: level")
            check(value["mechanism"] == {"type": "trap", "handled": True}, "error: mechanism")
            check(value["value"] == "File not found", "error: exception value")
            check(event["tags"] == {"operation": "opening a document", "error.number": "53"},
                  "error: tags")
            check(event["message"]["formatted"] ==
                  "Could not open ~/doc.txt for <user> on <host>", "error: scrubbed message")
            got = attachments.get("error-log.txt")
            check(got is not None and got.payload.get_bytes() == expected_text(log),
                  "error: the log attached byte for byte, scrubbed")
        else:
            check(event["level"] == "fatal", "crash: level")
            check(value["type"] == "SIGSEGV", "crash: exception type")
            check(value["mechanism"] == {"type": "signalhandler", "handled": False},
                  "crash: mechanism")
            frames = value["stacktrace"]["frames"]
            check([f["instruction_addr"] for f in frames] == ["0x7ffff7a0b0c0", "0x55555555a123"],
                  "crash: frames, outermost first")
            image = event["debug_meta"]["images"][0]
            check(image == {"type": "elf", "code_file": "~/bin/app",
                            "image_addr": "0x555555554000", "image_size": 0x4000,
                            "code_id": "0123456789abcdef0123456789abcdef01234567",
                            "debug_id": "67452301-ab89-efcd-0123-456789abcdef"},
                  f"crash: debug image {image}")
            got = attachments.get("crash-record.txt")
            check(got is not None and got.payload.get_bytes() == expected_text(record),
                  "crash: the record attached byte for byte, scrubbed")
finally:
    os.killpg(server.pid, 9)
    server.wait()

if failures:
    print(f"{len(failures)} checks failed")
    sys.exit(1)
print("all checks passed")
