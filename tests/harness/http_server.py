"""Loopback download server for the tests, standard library only.

Each served path has a body and a delivery mode:
  length   Content-Length, one write
  chunked  HTTP/1.1 chunked transfer encoding, no length
  close    HTTP/1.0 style: no length, the end of the body is the connection's end
  bursts   Content-Length, 64 KiB writes with short pauses (urlmon then reports
           BINDSTATUS_DOWNLOADINGDATA)
  bursts-chunked   the same pauses without a length
  slow     Content-Length, paced so that a whole transfer takes `seconds`
  slow-chunked     the same pace without a length
  gzip     when the request accepts gzip: the body compressed, Content-Encoding
           gzip and the compressed Content-Length, as a server or CDN that
           compresses does; otherwise as length
  trickle  Content-Length, `pieces` equal pieces with `seconds` of silence between them
  stall    Content-Length, 64 KiB, then silence with the connection open for
           `seconds` (or until the server stops)
Unknown paths get 404. Every request path is recorded in `requests`.

Run as a program it serves a fixed set of files for the integration tests,
and a program of the test build as /program.exe:
  http_server.py PORT [PROGRAM]
"""

import gzip
import http.server
import os
import ssl
import sys
import threading
import time

BURST = 64 * 1024


class Payload:
    def __init__(self, data, mode="length", seconds=2.0, pieces=6):
        self.data = data
        self.mode = mode
        self.seconds = seconds
        self.pieces = pieces


class _Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        server = self.server
        with server.lock:
            server.requests.append(self.path)
            payload = server.files.get(self.path)
            if server.request_log:
                # Wall-clock arrival, in Windows' 100 ns units since 1601, for the benchmark.
                with open(server.request_log, "a", encoding="utf-8") as log:
                    log.write(f"{int(time.time() * 10**7) + 116444736000000000} {self.path}\n")
        if payload is None:
            body = b"not found"
            self.send_response(404)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        try:
            self._send(payload)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def _send(self, payload):
        data, mode = payload.data, payload.mode
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if mode == "gzip":
            mode = "length"
            if "gzip" in self.headers.get("Accept-Encoding", ""):
                data = gzip.compress(data, mtime=0)
                self.send_header("Content-Encoding", "gzip")
                with self.server.lock:
                    self.server.compressed.append(self.path)
        if mode in ("chunked", "bursts-chunked", "slow-chunked"):
            self.send_header("Transfer-Encoding", "chunked")
        elif mode == "close":
            self.send_header("Connection", "close")
            self.close_connection = True
        else:
            self.send_header("Content-Length", str(len(data)))
        self.end_headers()

        if mode == "length":
            self.wfile.write(data)
        elif mode == "trickle":
            size = (len(data) + payload.pieces - 1) // payload.pieces
            for start in range(0, len(data), size):
                if start:
                    self.server.stopping.wait(payload.seconds)
                self.wfile.write(data[start:start + size])
                self.wfile.flush()
        elif mode == "stall":
            self.wfile.write(data[:BURST])
            self.wfile.flush()
            self.server.stopping.wait(payload.seconds)
        elif mode == "close":
            self.wfile.write(data)
            self.wfile.flush()
        elif mode in ("chunked", "bursts-chunked", "slow-chunked"):
            pause = {"bursts-chunked": 0.03, "slow-chunked": payload.seconds / max(1, len(data) // BURST)}.get(mode, 0)
            for start in range(0, len(data), BURST):
                piece = data[start:start + BURST]
                self.wfile.write(b"%x\r\n%s\r\n" % (len(piece), piece))
                self.wfile.flush()
                if pause:
                    time.sleep(pause)
            self.wfile.write(b"0\r\n\r\n")
        else:  # bursts, slow
            pieces = max(1, (len(data) + BURST - 1) // BURST)
            pause = payload.seconds / pieces if mode == "slow" else 0.03
            for start in range(0, len(data), BURST):
                self.wfile.write(data[start:start + BURST])
                self.wfile.flush()
                time.sleep(pause)


class DownloadServer:
    """A threading HTTP server on 127.0.0.1 that runs until stop()."""

    def __init__(self, port, files=None, tls=None):
        """tls: (certificate file, key file) to serve HTTPS instead of HTTP."""
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", port), _Handler)
        if tls:
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(*tls)
            self.httpd.socket = context.wrap_socket(self.httpd.socket, server_side=True)
            # A client that rejects the certificate is the expected case here.
            self.httpd.handle_error = lambda request, address: None
        self.httpd.daemon_threads = True
        self.httpd.lock = threading.Lock()
        self.httpd.requests = []
        self.httpd.request_log = os.environ.get("REPAIR_REQUEST_LOG")
        self.httpd.compressed = []
        self.httpd.stopping = threading.Event()
        self.httpd.files = dict(files or {})
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)

    def serve(self, path, payload):
        with self.httpd.lock:
            self.httpd.files[path] = payload

    @property
    def requests(self):
        with self.httpd.lock:
            return list(self.httpd.requests)

    @property
    def compressed(self):
        """The request paths answered gzip-compressed."""
        with self.httpd.lock:
            return list(self.httpd.compressed)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.stop()

    def stop(self):
        self.httpd.stopping.set()
        self.httpd.shutdown()
        self.httpd.server_close()
        self.thread.join(5)


def integration_files(program=None):
    """What the integration tests of the downloader fetch."""
    mib = bytes(range(256)) * 4096
    files = {
        "/stall.bin": Payload(mib * 10, "stall", seconds=60),
        "/length.bin": Payload(mib, "length"),
        "/chunked.bin": Payload(mib, "chunked"),
        "/bursts.bin": Payload(mib, "bursts"),
        "/bursts-chunked.bin": Payload(mib, "bursts-chunked"),
        "/empty.bin": Payload(b"", "length"),
    }
    if program:
        with open(program, "rb") as f:
            files["/program.exe"] = Payload(f.read())
    if os.environ.get("REPAIR_BENCH_FILE"):
        files["/bench-100mb.bin"] = Payload(mib * 100, "length")
        if program:  # the tool the bootstrapper fetches in the benchmark's whole runs
            files["/Vandrel_Client_Repair_Tool_net8_x86.exe"] = files["/program.exe"]
    return files


def main():
    port = int(sys.argv[1])
    server = DownloadServer(port, integration_files(sys.argv[2] if len(sys.argv) > 2 else None))
    server.thread.start()
    print(f"serving on 127.0.0.1:{port} (pid {os.getpid()})", flush=True)
    try:
        server.thread.join()
    except KeyboardInterrupt:
        server.stop()


if __name__ == "__main__":
    main()
