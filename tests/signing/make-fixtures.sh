#!/bin/sh
# Makes the signed update files the signature tests read, with stock
# openssl only: so they also show that what openssl signs, a host verifies.
# The keys here sign nothing but these files. Run from this directory.
set -eu
for key in publisher other; do
  [ -f $key.key ] || openssl ecparam -genkey -name prime256v1 | openssl pkcs8 -topk8 -nocrypt -out $key.key
  openssl pkey -in $key.key -pubout -out $key.pub
done
cat other.pub publisher.pub > rotated.pub
# A block of another kind makes a key file damaged.
{ cat publisher.pub; printf -- '-----BEGIN CERTIFICATE-----\nMIIB\n-----END CERTIFICATE-----\n'; } > damaged.pub

list() {
  printf '[SOFTWARE]\r\n1=PovViewer\r\n2=PovHelp\r\n'
  printf '[PovViewer]\r\nVersion=2.5\r\nDownLoadPath=http://127.0.0.1/viewer.exe\r\n'
  printf 'MD5=0123456789abcdef0123456789abcdef\r\nSize=1024\r\n'
  printf '[PovHelp]\r\nVersion=1.0\r\n'
}
# signed OUT KEY FILE-FIELD EXPIRES
signed() {
  { list; printf '[PovUpdate.Signature]\r\nFile=%s\r\nSerial=1760000000\r\nExpires=%s\r\n' "$3" "$4"; } > "$1.part"
  { cat "$1.part"; printf 'Signature=%s\r\n' "$(openssl dgst -sha256 -sign "$2" "$1.part" | base64 -w0)"; } > "$1"
  rm "$1.part"
}
signed good.ini publisher.key Update_6.1.ini 2099-12-31T23:59:59Z
signed other-key.ini other.key Update_6.1.ini 2099-12-31T23:59:59Z
signed other-version.ini publisher.key Update_6.2.ini 2099-12-31T23:59:59Z
signed expired.ini publisher.key Update_6.1.ini 2001-01-01T00:00:00Z
