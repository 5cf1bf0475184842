#!/usr/bin/python3
"""The collector's answers, from a scripted local server, one row each: what
tamberlin-report prints, what stays in its queue, and what the server
received (including on the next run, which must hold back or not resend).

usage: answers.py WORK_FOLDER [EMULATOR] TAMBERLIN_REPORT

The Windows build runs under Wine (the emulator): its paths are given as
Wine's Z: drive, and its files have no POSIX modes to check.
"""
import gzip
import http.server
import json
import os
import re
import shutil
import socket
import ssl
import stat
import subprocess
import sys
import threading
import time

work, command = sys.argv[1], sys.argv[2:]
windows = command[-1].endswith(".exe")
# Wine's start costs seconds; the bound is for the requests, not the start.
most_seconds = 25 if windows else 8


def native(path):
    return "Z:" + path if windows else path


shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
failures = []
received = []
answer = {"status": 200, "headers": {}, "hang": False}


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
        if self.headers.get("Content-Encoding") == "gzip":
            body = gzip.decompress(body)
        received.append((self.path, dict(self.headers), body))
        if answer["hang"]:
            time.sleep(20)
            return
        self.send_response(answer["status"])
        for name, value in answer["headers"].items():
            self.send_header(name, value)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
server.daemon_threads = True
threading.Thread(target=server.serve_forever, daemon=True).start()
port = server.server_address[1]
with socket.socket() as s:
    s.bind(("127.0.0.1", 0))
    closed_port = s.getsockname()[1]

# The same server behind TLS with a self-signed certificate for localhost
# (Wine's certificate check matches host names only, not IP addresses).
certificate, other = os.path.join(work, "collector.pem"), os.path.join(work, "other.pem")
for pem in certificate, other:
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=localhost", "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1",
                    "-keyout", pem, "-out", pem], check=True, capture_output=True)
tls_server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
tls_server.daemon_threads = True
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(certificate)
tls_server.socket = context.wrap_socket(tls_server.socket, server_side=True)
threading.Thread(target=tls_server.serve_forever, daemon=True).start()
tls_port = tls_server.server_address[1]

log = os.path.join(work, "big.log")
with open(log, "w") as f:
    f.write("a log line that makes the body large enough to be compressed\n" * 200)

# name, answer, port, what the run prints, exit status, left in the queue,
# requests on a second run at once (None: not run)
rows = [
    ("accepted", {"status": 200}, port, r"^sent [0-9a-f]{32}$", 0, 0, 0),
    ("429 with Retry-After", {"status": 429, "headers": {"Retry-After": "120"}}, port,
     r"^kept [0-9a-f]{32} the collector answered 429$", 3, 1, 0),
    ("503 with rate limits", {"status": 503, "headers": {"X-Sentry-Rate-Limits": "90:error:key"}},
     port, r"^kept .* answered 503$", 3, 1, 0),
    ("500", {"status": 500}, port, r"^kept .* answered 500$", 3, 1, 1),
    ("400 is refused for good", {"status": 400, "log": "refused"}, port,
     r"^dropped .* answered 400$", 0, 0, None),
    ("no answer", {"hang": True}, port, r"^kept [0-9a-f]{32} .*[Tt]imeout", 3, 1, None),
    ("connection refused", {"status": 200}, closed_port, r"^kept [0-9a-f]{32} .*onnect", 3, 1,
     None),
]
if not windows:
    # Wine follows a link as a folder. A full or read-only queue folder is a
    # tmpfs of its own, mounted in a user namespace where there can be one.
    rows.append(("a link in the queue folder's place", {"status": 200, "link": True}, port,
                 r"^sent ", 0, 0, None))
    if subprocess.run(["unshare", "-rm", "mount", "-t", "tmpfs", "tmpfs", work],
                      capture_output=True).returncode == 0:
        rows += [(name, {"status": 200, "mount": options, "log": log}, port, r"^sent ", 0, 0, None)
                 for name, options, log in [("a full queue folder", "size=4k", "No space left"),
                                            ("a read-only queue folder", "ro", "Read-only")]]
rows += [
    ("TLS with an unknown certificate", {"status": 200}, tls_port, r"^kept .*(SSL|certificate)",
     3, 1, None),
    ("TLS with its CA file", {"status": 200, "ca": True}, tls_port, r"^sent ", 0, 0, None),
    ("TLS with another CA file", {"status": 200, "ca": other}, tls_port,
     r"^kept .*(SSL|certificate)", 3, 1, None),
]


def environment(row_port):
    host = "https://key0@localhost" if row_port == tls_port else "http://key0@127.0.0.1"
    env = dict(os.environ, TAMBERLIN_DSN=f"{host}:{row_port}/42",
               XDG_CONFIG_HOME=os.path.join(work, "config"), XDG_DATA_HOME=os.path.join(work, "data"))
    env.pop("TAMBERLIN_CA_FILE", None)
    if answer.get("ca"):
        env["TAMBERLIN_CA_FILE"] = native(certificate if answer["ca"] is True else answer["ca"])
    return env


def run(verb, queue, row_port, extra=()):
    mount = [] if "mount" not in answer else [
        "unshare", "-rm", "sh", "-c", f'mount -t tmpfs -o {answer["mount"]},mode=700 tmpfs "$0" && '
        '{ [ ! -w "$0" ] || head -c 4096 /dev/zero > "$0/filler"; } && exec "$@"', queue]
    started = time.time()
    done = subprocess.run(mount + command + [verb, "--queue", native(queue), "--wait", "8000",
                                     "--timeout", "1500"] + list(extra),
                          env=environment(row_port), capture_output=True, text=True, timeout=120)
    return done, time.time() - started


for name, given, row_port, printed, status, left, again in rows:
    answer.clear()
    answer.update({"status": 200, "headers": {}, "hang": False}, **given)
    received.clear()
    queue = os.path.join(work, re.sub(r"\W+", "-", name))
    if given.get("mount"):
        os.makedirs(queue, mode=0o700)
    if given.get("link"):
        os.makedirs(queue + "-target")
        os.symlink(queue + "-target", queue)
    done, took = run("send", queue, row_port, ["--message", "row " + name, "--log", native(log)])
    if given.get("link"):
        if "cannot be used" not in done.stderr or os.listdir(queue + "-target"):
            failures.append(name)
            print("FAILED", name, "the link was followed or not named:", done.stderr)
        else:
            print("ok     " + name)
        continue
    queued = [f for f in os.listdir(queue) if f.endswith(".envelope")]
    problems = []
    if not re.search(printed, done.stdout, re.M):
        problems.append(f"printed {done.stdout!r}")
    if done.returncode != status:
        problems.append(f"exit {done.returncode}")
    if len(queued) != left:
        problems.append(f"{len(queued)} left in the queue")
    if took > most_seconds:
        problems.append(f"took {took:.1f} s")
    if not windows and stat.S_IMODE(os.lstat(queue).st_mode) != 0o700:
        problems.append("queue folder not 0700")
    if not windows and any(stat.S_IMODE(os.lstat(os.path.join(queue, f)).st_mode) != 0o600 for f in queued):
        problems.append("queue file not 0600")
    if row_port == port and received:
        path, headers, body = received[0]
        if path != "/api/42/envelope/":
            problems.append(f"path {path}")
        client = "tamberlin/1.0.0"
        if headers.get("X-Sentry-Auth") != f"Sentry sentry_version=7, sentry_key=key0, sentry_client={client}":
            problems.append(f"auth header {headers.get('X-Sentry-Auth')!r}")
        if headers.get("User-Agent") != client or headers.get("Content-Encoding") != "gzip":
            problems.append("user agent or compression")
        if b'"type":"event"' not in body:
            problems.append("no event item")
    elif row_port == port:
        problems.append("nothing received")
    if "log" in given and (len(done.stderr.strip().splitlines()) != 1 or given["log"] not in done.stderr):
        problems.append(f"log lines {done.stderr!r}")
    if again is not None:
        # The next run at once: held back after 429/503, tried again after
        # 500, nothing to send after 200.
        answer.update({"status": 200, "headers": {}, "hang": False})
        received.clear()
        run("drain", queue, row_port)
        if len(received) != again:
            problems.append(f"{len(received)} requests on the next run, expected {again}")
    print(("FAILED " if problems else "ok     ") + name, "; ".join(problems))
    if problems:
        failures.append(name)

# Killed (SIGKILL) while the server holds its request: the next drain sends
# the report once, with the same event id, and the one after sends nothing.
answer.update({"status": 200, "headers": {}, "hang": True})
received.clear()
queue = os.path.join(work, "killed")
sending = subprocess.Popen(command + ["send", "--queue", native(queue), "--timeout", "20000"],
                           env=environment(port), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
deadline = time.time() + most_seconds
while not received and time.time() < deadline:
    time.sleep(0.05)
sending.kill()
sending.wait()
sends = []  # the event ids sent before the kill, by the drain after it and by the next
for drain in True, True, False:
    sends.append([json.loads(body.split(b"\n", 1)[0])["event_id"] for _, _, body in received])
    answer["hang"] = False
    received.clear()
    if drain:
        run("drain", queue, port)
if len(sends[0]) != 1 or sends[1:] != [sends[0], []]:
    failures.append("killed during a send")
print("FAILED" if failures[-1:] == ["killed during a send"] else "ok    ", "killed during a send",
      sends)

server.shutdown()
tls_server.shutdown()
sys.exit(1 if failures else 0)
