#!/usr/bin/env bash
# Converts a 3 GiB card file, generated into a temporary folder (never committed), and checks
# that the run succeeds in constant memory: peak resident memory under 16 MiB, one record per
# card and the document's end tag after the last one. The same file is converted twice: read
# as it is, and decoded (DECODE=1), which gives the same records for these cards.
#   bench/large_input.sh [path/to/quorlan] [size in MiB, default 3072]
set -euo pipefail
source "$(dirname "$0")/../scripts/common.sh"

program=$(realpath "${1:-$build_dir/quorlan}")
size_mib=${2:-3072}
limit_kib=$((16 * 1024))
need_packages time
[ -x "$program" ] || { echo "no program at $program (build it first)" >&2; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
free_mib=$(df -Pm . | awk 'NR == 2 { print $4 }')
if [ "$free_mib" -lt $((size_mib + 512)) ]; then
    echo "skipped: the input needs $((size_mib + 512)) MiB in $work, only $free_mib MiB are free"
    exit 0
fi

# About one MiB of cards: a name, numbers, an address, and a photo line long enough to be read in
# several pieces, as exports of phones have them.
photo=$(head -c 3000 /dev/zero | tr '\0' 'Q')
block_cards=320
for ((i = 0; i < block_cards; i++)); do
    printf 'BEGIN:VCARD\r\nVERSION:3.0\r\nN:Nov\xc3\xa1k;Jan;;;\r\nTEL;CELL:+420 603 %06d\r\nORG;X:Firm & Co\r\nPHOTO;ENCODING=b:%s\r\nEND:VCARD\r\n' \
        "$i" "$photo"
done >block.vcf
blocks=$((size_mib * 1024 * 1024 / $(stat -c %s block.vcf)))
for ((i = 0; i < blocks; i++)); do cat block.vcf; done >contacts.vcf
printf 'BEGIN:VCARD\r\nN:Last;Card\r\nEND:VCARD' >>contacts.vcf
rm block.vcf
config=$'contacts.vcf\r\nphonebook.xml\r\nNAME*=N:\r\nMOBILE#=TEL;CELL\r\nFIRM=ORG\r\nSOURCE_IDENT=big\r\n'
input_bytes=$(stat -c %s contacts.vcf)
expected_records=$((blocks * block_cards + 1))
tail_expected=$'<vcf>\r\n<NAME>Last Card</NAME>\r\n<MOBILE></MOBILE>\r\n<FIRM></FIRM>\r\n<SOURCE_IDENT>big</SOURCE_IDENT>\r\n</vcf>\r\n</phonebook>\r\n'

status=0
for switch in "" "DECODE=1"; do
    printf '%s%s' "$config" "${switch:+$switch$'\r\n'}" >quorlan.ini
    started=$(date +%s.%N)
    /usr/bin/time -v "$program" 2>time.txt
    finished=$(date +%s.%N)
    peak_kib=$(sed -n 's/.*Maximum resident set size (kbytes): //p' time.txt)
    seconds=$(awk -v a="$started" -v b="$finished" 'BEGIN { printf "%.1f", b - a }')
    records=$(grep -c -a '^<vcf>' phonebook.xml)
    tail_actual=$(tail -c ${#tail_expected} phonebook.xml; echo x)
    echo "${switch:-exact reading}: input $((input_bytes / 1024 / 1024)) MiB," \
        "output $(($(stat -c %s phonebook.xml) / 1024 / 1024)) MiB, $records records, $seconds s," \
        "peak resident memory $peak_kib KiB"
    [ "$records" -eq "$expected_records" ] || { echo "expected $expected_records records" >&2; status=1; }
    [ "${tail_actual%x}" = "$tail_expected" ] || { echo "the document doesn't end with the last card and the end tag" >&2; status=1; }
    [ "$peak_kib" -lt "$limit_kib" ] || { echo "peak resident memory above $limit_kib KiB" >&2; status=1; }
    rm -f phonebook.xml
done
exit $status
