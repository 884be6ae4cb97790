#!/usr/bin/env bash
# A desk that reaches its server by TLS and verifies it (ctest: tls_test):
#   tests/tls/run-tls.sh BIN_DIR
# Makes an office CA and two server certificates with openssl: one for localhost and
# 127.0.0.1, one for another host. The server (tests/pgserver.sh start ... tls) takes
# TLS sessions only on TCP; the desk reaches it through kovdelayproxy, which records
# every byte, with sslmode=verify-full and sslrootcert= the CA. Then:
#  - the kov120 print run (kov_blockprint) writes the command file of the SQLite run,
#    byte for byte, and the recorded bytes hold no staff name of the print;
#  - with the server's certificate naming another host, the desk is refused with the
#    TLS cause line (status -1);
#  - with the server's TLS off, likewise.
# Skips, saying so, where PostgreSQL is not installed.
set -euo pipefail
src="$(cd "$(dirname "$0")/../.." && pwd)"
bin="${1:?usage: run-tls.sh BIN_DIR}"
work="$(mktemp -d)"
chmod 755 "$work"
proxy=""
trap '[ -n "$proxy" ] && kill "$proxy" 2>/dev/null
      "$src/tests/pgserver.sh" stop "$work/pg.state" >/dev/null 2>&1 || true
      rm -rf "$work"' EXIT

# The office's CA, and the certificates it signs: NAME SUBJECT_ALT_NAMES.
certs="$work/certs"
mkdir -p "$certs"
ssl() { openssl "$@" 2>>"$work/openssl.log"; }
ssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=KOV test office CA" \
  -keyout "$certs/ca.key" -out "$certs/ca.crt"
sign() {
  ssl req -newkey rsa:2048 -nodes -subj "/CN=$2" -keyout "$certs/$1.key" -out "$work/$1.csr"
  printf 'subjectAltName = %s\n' "$3" >"$work/$1.ext"
  ssl x509 -req -in "$work/$1.csr" -CA "$certs/ca.crt" -CAkey "$certs/ca.key" -CAcreateserial -days 2 \
    -extfile "$work/$1.ext" -out "$certs/$1.crt"
}
sign server localhost "DNS:localhost,IP:127.0.0.1"
sign other db.other.example "DNS:db.other.example"
cp "$certs/ca.crt" "$work/root.crt"
rm "$certs/ca.key"

"$src/tests/pgserver.sh" start "$work/pg.state" tls "$certs" >/dev/null
[ "$(head -c 2 "$work/pg.state")" = "ok" ] || { echo "PostgreSQL tests skipped: $(head -1 "$work/pg.state" | cut -d' ' -f2-)"; exit 0; }
socket=$(head -1 "$work/pg.state" | cut -d' ' -f2-)
tls="$(sed -n 2p "$work/pg.state")/tls"
tcp=$(sed -n 's/^tcp //p' "$work/pg.state")
"$bin/kovgendemo" --out "$work/sqlite" --staff 300 >/dev/null
"$bin/kovgendemo" --out "$work/loaded" --staff 300 --engine postgresql --connection "$socket" >/dev/null

"$bin/kovdelayproxy" --target "127.0.0.1:$tcp" --lifetime 600 --record "$work/wire" >"$work/proxy.out" 2>&1 &
proxy=$!
port=""
for _ in $(seq 100); do
  port=$(awk '$1 == "listening" { print $3 }' "$work/proxy.out")
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { echo "FAIL: kovdelayproxy did not start: $(cat "$work/proxy.out")"; exit 1; }
"$src/tests/pgserver.sh" settings "$work/desk" \
  "host=localhost port=$port user=kov dbname=kovtest sslmode=verify-full sslrootcert=$work/root.crt"

fail=0
# print DIR: the kov120 print run on the settings in DIR; its output in $out, status in $st.
print() { st=0; out=$(KOV_WORK_DIR="$1" "$bin/kov_blockprint" kov120 "$1" 2>&1) || st=$?; }
print "$work/sqlite"
print "$work/desk"
if [ "$st" != 0 ]; then
  echo "FAIL: the desk did not print over TLS: $out"; fail=1
elif ! cmp "$work/sqlite/kov120/OVL.TMP" "$work/desk/kov120/OVL.TMP"; then
  echo "FAIL: the command file over TLS differs from the one on SQLite"; fail=1
fi
# Names of the print's staff, as the server sends them (UTF-8).
names=$(sqlite3 "$work/sqlite/kov.db" "SELECT DISTINCT trim(s.SIMKNJ) FROM SKSYOKU s JOIN SKSYKEI k ON k.SYOKCD = s.SYOKCD
                                      WHERE trim(s.SIMKNJ) <> '' LIMIT 20")
[ -n "$names" ] || { echo "FAIL: no staff name to look for"; fail=1; }
[ -s "$work/wire" ] || { echo "FAIL: the proxy recorded nothing"; fail=1; }
while IFS= read -r name; do
  if grep -qF -- "$name" "$work/wire"; then echo "FAIL: the staff name $name crossed the network in clear"; fail=1; fi
done <<<"$names"

# refused WHAT: the desk must be refused with the TLS cause line.
refused() {
  print "$work/desk"
  if [ "$st" = 0 ] || ! grep -q "Err Status = -1" <<<"$out" || ! grep -q "TLS で接続できません。" <<<"$out"; then
    echo "FAIL: $1: the desk was not refused with the TLS cause line (status $st): $out"; fail=1
  else
    echo "$1: refused: $(grep 'TLS で接続できません。' <<<"$out")"
  fi
}
# reload SETTING...: the settings in force once the server has read them again.
reload() {
  local a=()
  for s in "$@"; do a+=(-c "ALTER SYSTEM SET $s"); done
  psql -X -q "$socket" "${a[@]}" -c "SELECT pg_reload_conf()" >/dev/null
  sleep 0.5
}
reload "ssl_cert_file = '$tls/other.crt'" "ssl_key_file = '$tls/other.key'"
refused "a certificate of another host"
reload "ssl = off"
refused "a server without TLS"
[ "$fail" = 0 ] && echo "the desk printed over verified TLS; no staff name on the wire"
exit $fail
