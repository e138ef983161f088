"""Servers for the update tests, on 127.0.0.1 only, each on a free port and
stopped by the test that started it: Debian's nginx for static files and
ranges, a fault-injecting server of the tests' own, and the same over TLS
with a test authority made by the openssl command."""
import http.server
import os
import shutil
import socket
import ssl
import subprocess
import threading
import time

NGINX = shutil.which("nginx") or "/usr/sbin/nginx"


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def wait_for_port(port, process=None):
    deadline = time.monotonic() + 10
    while time.monotonic() < deadline:
        if process is not None and process.poll() is not None:
            raise RuntimeError("the server ended at its start")
        try:
            socket.create_connection(("127.0.0.1", port), timeout=1).close()
            return
        except OSError:
            time.sleep(0.05)
    raise RuntimeError(f"nothing listens on 127.0.0.1:{port}")


class Nginx:
    """nginx in the foreground as the test's own process, its files, logs
    and temporary files in `work`, serving `root`."""

    def __init__(self, root, work):
        self.port = free_port()
        os.makedirs(work, exist_ok=True)
        conf = os.path.join(work, "nginx.conf")
        with open(conf, "w") as file:
            file.write(f"""daemon off; master_process off; worker_processes 1;
pid {work}/nginx.pid; error_log {work}/error.log;
events {{ worker_connections 64; }}
http {{ access_log off; default_type application/octet-stream;
  server {{ listen 127.0.0.1:{self.port}; root {root}; }} }}
""")
        self.process = subprocess.Popen([NGINX, "-p", work, "-c", conf, "-e", f"{work}/error.log"],
                                        stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for_port(self.port, self.process)
        self.url = f"http://127.0.0.1:{self.port}"

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)


class FaultHandler(http.server.BaseHTTPRequestHandler):
    """/files/NAME serves NAME (with ranges); /cut/NAME cuts the first
    answer for NAME half-way; /stall/NAME sends half and then nothing on the
    first; /wrong/NAME sends other bytes; /more/NAME sends more than NAME
    with no length; /status/CODE/NAME answers CODE; /redirect/N/NAME
    redirects N times before /files/NAME; /to-http/NAME redirects to the
    plain server's /files/NAME."""
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        server = self.server
        parts = self.path.strip("/").split("/")
        kind, name = parts[0], parts[-1]
        server.requests.append((self.path, self.headers.get("Range")))
        first = server.seen.count(self.path) == 0
        server.seen.append(self.path)
        body = server.files.get(name, b"")
        if kind == "status":
            return self.answer(int(parts[1]), b"no\n")
        if kind == "redirect":
            count = int(parts[1])
            target = f"/redirect/{count - 1}/{name}" if count > 1 else f"/files/{name}"
            return self.answer(302, b"", {"Location": target})
        if kind == "to-http":
            return self.answer(302, b"", {"Location": f"{server.plain_url}/files/{name}"})
        if kind == "wrong":
            body = bytes(b ^ 0xFF for b in body)
        if kind == "more":
            self.send_response(200)
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(body + b"x" * (len(body) + 65536))
            return
        start = 0
        ranged = self.headers.get("Range")
        if ranged and ranged.startswith("bytes=") and ranged.endswith("-"):
            start = int(ranged[6:-1])
        rest = body[start:]
        self.send_response(206 if start else 200)
        if start:
            self.send_header("Content-Range", f"bytes {start}-{len(body) - 1}/{len(body)}")
        self.send_header("Content-Length", str(len(rest)))
        self.end_headers()
        if kind in ("cut", "stall") and first:
            self.wfile.write(rest[:len(rest) // 2])
            self.wfile.flush()
            if kind == "stall":
                server.release.wait(10)
            self.close_connection = True
            self.connection.shutdown(socket.SHUT_RDWR)
            return
        self.wfile.write(rest)

    def answer(self, status, body, headers=None):
        self.send_response(status)
        for key, value in (headers or {}).items():
            self.send_header(key, value)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


class FaultServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, files, tls=None, plain_url=""):
        super().__init__(("127.0.0.1", 0), FaultHandler)
        self.files = files
        self.requests = []
        self.seen = []
        self.release = threading.Event()
        self.plain_url = plain_url
        scheme = "http"
        if tls:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(*tls)
            self.socket = context.wrap_socket(self.socket, server_side=True)
            scheme = "https"
        self.url = f"{scheme}://127.0.0.1:{self.server_address[1]}"
        self.thread = threading.Thread(target=self.serve_forever, daemon=True)
        self.thread.start()

    def handle_error(self, request, client_address):
        # A client that goes away mid-answer (a cut-off download) is expected.
        pass

    def stop(self):
        self.release.set()
        self.shutdown()
        self.server_close()


def make_authority(directory):
    """A test authority and a certificate for 127.0.0.1 signed by it:
    (authority PEM, (certificate, key))."""
    def run(*args):
        subprocess.run(["openssl", *args], cwd=directory, check=True, capture_output=True)
    run("req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
        "-days", "2", "-subj", "/CN=PovUpdate test authority", "-keyout", "ca.key", "-out", "ca.pem")
    run("req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
        "-subj", "/CN=127.0.0.1", "-keyout", "server.key", "-out", "server.csr")
    with open(os.path.join(directory, "san.ext"), "w") as file:
        # The address as a DNS name too: Wine's SSL policy matches a host
        # against DNS names only, OpenSSL an address against IP ones.
        file.write("subjectAltName=IP:127.0.0.1,DNS:127.0.0.1\n")
    run("x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
        "-CAcreateserial", "-days", "2", "-extfile", "san.ext", "-out", "server.pem")
    return (os.path.join(directory, "ca.pem"),
            (os.path.join(directory, "server.pem"), os.path.join(directory, "server.key")))
