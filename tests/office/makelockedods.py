"""Writes an OpenDocument spreadsheet whose content is encrypted, as one saved with a
password: the office asks for the password before it looks at the encrypted bytes, which
here are meaningless."""
import sys
import zipfile

NS = "urn:oasis:names:tc:opendocument:xmlns:manifest:1.0"
MANIFEST = (
    '<?xml version="1.0" encoding="UTF-8"?>'
    f'<manifest:manifest xmlns:manifest="{NS}" manifest:version="1.2">'
    '<manifest:file-entry manifest:full-path="/" manifest:version="1.2" '
    'manifest:media-type="application/vnd.oasis.opendocument.spreadsheet"/>'
    '<manifest:file-entry manifest:full-path="content.xml" manifest:media-type="text/xml" '
    'manifest:size="900">'
    f'<manifest:encryption-data manifest:checksum-type="{NS}#sha256-1k" '
    'manifest:checksum="AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=">'
    '<manifest:algorithm manifest:algorithm-name="http://www.w3.org/2001/04/xmlenc#aes256-cbc" '
    'manifest:initialisation-vector="AAAAAAAAAAAAAAAAAAAAAA=="/>'
    '<manifest:start-key-generation '
    'manifest:start-key-generation-name="http://www.w3.org/2000/09/xmldsig#sha256" '
    'manifest:key-size="32"/>'
    '<manifest:key-derivation manifest:key-derivation-name="PBKDF2" manifest:key-size="32" '
    'manifest:iteration-count="100000" manifest:salt="AAAAAAAAAAAAAAAAAAAAAA=="/>'
    '</manifest:encryption-data></manifest:file-entry></manifest:manifest>'
)

with zipfile.ZipFile(sys.argv[1], "w") as package:
    package.writestr("mimetype", "application/vnd.oasis.opendocument.spreadsheet")
    package.writestr("META-INF/manifest.xml", MANIFEST, zipfile.ZIP_DEFLATED)
    package.writestr("content.xml", bytes(range(256)) * 4)
