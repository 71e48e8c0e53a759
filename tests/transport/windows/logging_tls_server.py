"""logging_tls_server.py CERT KEY LOG CLIENT_PEM: an HTTPS server on a free loopback port that keeps
its connections open, writes each request line it receives to LOG and answers every GET with
"served to" and the common name of the client certificate, or "no client certificate". It asks for
one, and trusts the certificate CLIENT_PEM holds when the connection comes. Prints its port."""
import http.server
import os
import ssl
import sys

certificate, key, log, client = sys.argv[1:5]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        with open(log, "a") as requests:
            requests.write(self.requestline + "\n")
        subject = dict(pair[0] for pair in (self.connection.getpeercert() or {}).get("subject", ()))
        page = ("served to " + subject["commonName"] if "commonName" in subject
                else "no client certificate").encode()
        self.send_response(200)
        self.send_header("Content-Length", str(len(page)))
        self.end_headers()
        self.wfile.write(page)

    def log_message(self, *arguments):
        pass


class Server(http.server.ThreadingHTTPServer):
    def get_request(self):
        connection, address = self.socket.accept()
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(certificate, key)
        if os.path.exists(client):
            context.verify_mode = ssl.CERT_OPTIONAL
            context.load_verify_locations(client)
        return context.wrap_socket(connection, server_side=True), address


server = Server(("127.0.0.1", 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
