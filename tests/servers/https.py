#!/usr/bin/env python3
"""The scripted server of scripted.py over TLS.

    https.py --dir DIR [--tls-cert PEM --tls-key PEM]

Scripts, records and output are those of scripted.py. The certificate and key
default to KV_TLS_CERT and KV_TLS_KEY, else to server.pem and server.key in
$KV_BUILD_DIR/test-tls (made by the build from a test certificate authority
whose certificate lies beside them as ca.pem and ca.der). When none of these
exist (as while a test program only lists its tests), a self-signed
certificate for "localhost" is made in DIR.
"""
import argparse
import importlib.util
import os
import subprocess
import sys

_HERE = os.path.dirname(os.path.abspath(__file__))


def load_http_server():
    spec = importlib.util.spec_from_file_location("kv_http_server", os.path.join(_HERE, "scripted.py"))
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def self_signed(folder):
    cert, key = os.path.join(folder, "self-signed.pem"), os.path.join(folder, "self-signed.key")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                    "-days", "2", "-subj", "/CN=localhost"], check=True, capture_output=True)
    return cert, key


def main(argv):
    server = load_http_server()
    parser = argparse.ArgumentParser()
    parser.add_argument("--dir", required=True)
    folder = os.path.join(os.environ["KV_BUILD_DIR"], "test-tls") if "KV_BUILD_DIR" in os.environ else None
    cert = os.environ.get("KV_TLS_CERT", folder and os.path.join(folder, "server.pem"))
    key = os.environ.get("KV_TLS_KEY", folder and os.path.join(folder, "server.key"))
    if not (cert and key and os.path.exists(cert) and os.path.exists(key)):
        cert, key = self_signed(parser.parse_known_args(argv)[0].dir)
    return server.main(["--tls-cert", cert, "--tls-key", key] + argv)


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
