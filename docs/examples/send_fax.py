#!/usr/bin/env python3
"""Send one fax through qvfaxd, using nothing but the protocol document.

    send_fax.py [--socket PATH] [--port PORT] NUMBER FILE.tif [FILE.tif ...]

Exits 0 when every page was delivered, 1 otherwise, 2 when qvfaxd cannot be
reached. Standard library only.
"""
import argparse
import json
import os
import socket
import sys


class Daemon:
    """One connection to qvfaxd: requests by id, the sink's requests answered."""

    def __init__(self, path, timeout=60.0):
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.settimeout(timeout)
        self.sock.connect(path)
        self.buffer = b""
        self.next_id = 1
        self.activity = None     # the latest AttivitaCambiata code
        self.send_ended = False  # FineInvio seen

    def _line(self):
        while b"\n" not in self.buffer:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise ConnectionError("qvfaxd closed the connection")
            self.buffer += chunk
        line, self.buffer = self.buffer.split(b"\n", 1)
        return json.loads(line)

    def _send(self, message):
        self.sock.sendall((json.dumps(message) + "\n").encode())

    def _serve(self, message):
        """Handles what the daemon sends on its own: sink calls and publications."""
        method = message.get("method")
        if method == "AttivitaCambiata":
            self.activity = message["params"]["Codice"]
            print("activity:", message["params"]["Descrizione"])
        elif method == "FineInvio":
            self.send_ended = True
        if "id" in message:  # a request: it must be answered
            self._send({"jsonrpc": "2.0", "id": message["id"], "result": None})

    def call(self, method, **params):
        request_id = self.next_id
        self.next_id += 1
        self._send({"jsonrpc": "2.0", "id": request_id, "method": method, "params": params})
        while True:
            message = self._line()
            if "method" in message:
                self._serve(message)
            elif message.get("id") == request_id:
                if "error" in message:
                    error = message["error"]
                    data = error.get("data") or {}
                    raise RuntimeError(f"{method}: {error['message']} ({data.get('number', error['code'])})")
                return message.get("result")

    def wait(self, done):
        """Serves the daemon's messages until done() is true."""
        while not done():
            message = self._line()
            if "method" in message:
                self._serve(message)

    # The object model by handle.
    def get(self, handle, member):
        return self.call("get", handle=handle, member=member)

    def let(self, handle, member, value):
        self.call("let", handle=handle, member=member, value=value)

    def invoke(self, handle, member, *args):
        return self.call("call", handle=handle, member=member, args=list(args))

    def run_and_wait_idle(self, handle, member, *args):
        """Calls a command that starts work, then waits for activity 0 again."""
        self.activity = None
        self.invoke(handle, member, *args)
        self.wait(lambda: self.activity == 0)

    def coded(self, handle, member):
        obj = self.get(handle, member)["handle"]
        return self.get(obj, "Codice"), self.invoke(obj, "Descrizione")


def send(daemon, number, files, port):
    server = daemon.call("create", **{"class": "QvVavUvaRazUr"})["handle"]
    daemon.call("set", handle=server, member="BkgFaxVmEventi", value={"client": True})
    daemon.invoke(server, "Inizializza")
    try:
        daemon.let(server, "PortaPredefinita", port)
        daemon.run_and_wait_idle(server, "RilevaModem")
        daemon.invoke(server, "SelezionaFaxModem", port)
        if daemon.get(server, "InfoFaxModem") is None:
            print("no fax modem found", file=sys.stderr)
            return False
        # The local id and the header reach the modem when the port opens.
        daemon.let(server, "IdLocale", "qvfax example")
        daemon.let(server, "TestDialTone", True)
        daemon.run_and_wait_idle(server, "ApriPorta")
        code, text = daemon.coded(server, "PortStatus")
        if code != 0:
            print("the port did not open:", daemon.coded(server, "Errore"), file=sys.stderr)
            return False

        daemon.let(server, "NumeroFax", number)
        daemon.let(server, "FilesTif", "+".join(os.path.abspath(f) for f in files))
        pages = daemon.get(server, "PagineDaTrasmettere")
        daemon.activity = None
        daemon.invoke(server, "Invia")
        daemon.wait(lambda: daemon.send_ended and daemon.activity == 0)

        status = daemon.coded(server, "TRMStatus")
        error = daemon.coded(server, "Errore")
        sent = daemon.get(server, "PagineTrasmesse")
        daemon.run_and_wait_idle(server, "ChiudiPorta")
        delivered = error[0] == 0 and status[0] == 0 and sent == pages
        print(f"sent {sent} of {pages} pages; termination {status[0]} {status[1]}; error {error[0]} {error[1]}")
        return delivered
    finally:
        daemon.invoke(server, "Termina")
        daemon.call("release", handle=server)


def main():
    runtime = os.environ.get("XDG_RUNTIME_DIR", f"/run/user/{os.getuid()}")
    parser = argparse.ArgumentParser(description="Send a fax through qvfaxd.")
    parser.add_argument("--socket", default=os.path.join(runtime, "qvfax", "qvfaxd.sock"))
    parser.add_argument("--port", default="", help="modem port (default: the first found)")
    parser.add_argument("number")
    parser.add_argument("files", nargs="+")
    options = parser.parse_args()
    try:
        daemon = Daemon(options.socket)
    except OSError as error:
        print(f"cannot reach qvfaxd at {options.socket}: {error}", file=sys.stderr)
        return 2
    return 0 if send(daemon, options.number, options.files, options.port) else 1


if __name__ == "__main__":
    sys.exit(main())
