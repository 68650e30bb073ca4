#!/usr/bin/env bash
# Makes the Debian package from a build tree (default build/dev), unpacks it
# into a temporary root with dpkg -x and checks that the unpacked copy is
# complete and works on its own: its services find their data beside them,
# and its terrafetch-batch runs the default quad in a folder outside the
# source tree. Bounded in time; leaves nothing behind.
set -euo pipefail
cd "$(dirname "$0")/.."
build=$(realpath "${1:-build/dev}")
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

echo "=== Debian package ==="
(cd "$build" && timeout 300 cpack -G DEB -B "$root/package" >"$root/cpack.log") || {
  cat "$root/cpack.log"
  exit 1
}
deb=$(ls "$root"/package/terrafetch_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "$(basename "$deb"): $depends"
case ", $depends," in
  *", ca-certificates,"*) ;;
  *) echo "the package does not depend on ca-certificates"; exit 1 ;;
esac
dpkg -x "$deb" "$root/unpacked"
usr="$root/unpacked/usr"

missing=0
for file in bin/terrafetch bin/terrafetch-batch bin/terrafetch-services \
            share/terrafetch/data/boundaries.txt share/terrafetch/data/places.txt share/terrafetch/data/zips.txt \
            share/doc/terrafetch/help.html share/applications/terrafetch.desktop \
            share/icons/hicolor/256x256/apps/terrafetch.png share/icons/hicolor/64x64/apps/terrafetch.png \
            share/man/man1/terrafetch.1.gz share/man/man1/terrafetch-batch.1.gz \
            share/man/man1/terrafetch-services.1.gz; do
  if [ ! -s "$usr/$file" ]; then
    echo "missing from the package: /usr/$file"
    missing=1
  fi
done
[ "$missing" -eq 0 ]

# Nothing may lead the unpacked programs to the source tree or other services.
unset TERRAFETCH_SERVICES_DATA TERRAFETCH_EXTRACT_HOST TERRAFETCH_MAP_HOST TERRAFETCH_GEOCODE_HOST tfcScanner

timeout 10 "$usr/bin/terrafetch-services" --port 0 >"$root/services.log" 2>&1 &
services=$!
for _ in $(seq 50); do
  grep -q "^Map data:" "$root/services.log" && break
  sleep 0.1
done
kill "$services" 2>/dev/null || true
wait "$services" 2>/dev/null || true
expected="Map data: $usr/share/terrafetch/data"
if ! grep -qx "$expected" "$root/services.log" || grep -q warning "$root/services.log"; then
  echo "the unpacked terrafetch-services does not use its own data (wanted \"$expected\"):"
  cat "$root/services.log"
  exit 1
fi

mkdir "$root/job"
cd "$root/job"
if ! timeout 300 "$usr/bin/terrafetch-batch" </dev/null >"$root/job.log" 2>&1; then
  echo "the unpacked terrafetch-batch failed:"
  tail -20 "$root/job.log"
  exit 1
fi
grep -qx "Download successfully finished." "$root/job.log"
ls ./*_el.tga ./*_tx_c.tga ./*_1.alp ./*_2.alp >/dev/null
echo "The unpacked terrafetch-batch ran the default quad: $(ls | tr '\n' ' ')"
