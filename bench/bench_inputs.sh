# shellcheck shell=bash
# Input generators shared by bench/bench_batch.sh and bench/bench_vs_shell.sh.
# Source this file, then call a generator with a row count and an output path.

# The awk function code(n): a code of exactly five characters, as the
# description layout of coding systems other than ICD reads them: five digits
# below 100,000, beyond that "A" and four base-36 digits (up to 1,779,616 codes).
bench_code_fn='function code(n,  s, d, k) {
  if (n < 100000) return sprintf("%05d", n)
  n -= 100000; s = ""
  for (k = 0; k < 4; k++) { d = n % 36; s = substr("0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ", d + 1, 1) s; n = int(n / 36) }
  return "A" s
}'

# A three-level index file of N lines.
bench_index() {
  awk -v lines="$1" 'BEGIN {
    for (i = 0; i < lines; i++) {
      m = i % 16
      if (m == 0) printf "Section %d\r\n", i
      else if (m % 5 == 1) printf "  Group %d~group%d.pdf~\r\n", i, i
      else printf "    Topic %d about something~topic%d.doc~\r\n", i, i
    }
  }' > "$2"
}

# A code file of N codes, ten codes a line.
bench_codes() {
  awk -v codes="$1" "$bench_code_fn"' BEGIN {
    n = 0
    for (l = 0; n < codes; l++) {
      printf "doc%d.pdf,", l
      for (k = 0; k < 10 && n < codes; k++) printf " %s", code(n++)
      printf "\r\n"
    }
  }' > "$2"
}

# A description file of N lines for those codes.
bench_desc() {
  awk -v codes="$1" "$bench_code_fn"' BEGIN {
    for (n = 0; n < codes; n++) printf "%s Description of code number %d, with some words|\r\n", code(n), n
  }' > "$2"
}

# The same rows as CSV, for the sqlite3 shell.
# The rows velkindex stores for bench_index into a fresh database, where the
# module is the second (after the seed module) and topics are numbered from 1:
# ModuleID, ParentID, HasChild, PatEdDocument, Description.
bench_topics_csv() {
  awk -v lines="$1" 'BEGIN {
    for (i = 0; i < lines; i++) {
      m = i % 16; more = (i + 1 < lines); tail = (i > 0 ? " " : "")
      if (m == 0) printf "2,0,%d,,Section %d%s\n", more, i, tail
      else if (m % 5 == 1) printf "2,%d,%d,ADU_group%d_pdf.htm,Group %d%s\n", i - m + 1, more, i, i, tail
      else printf "2,%d,0,ADU_topic%d_doc.htm,Topic %d about something%s\n", i - m + (m < 6 ? 1 : m < 11 ? 6 : 11) + 1, i, i, tail
    }
  }' > "$2"
}
bench_codes_csv() {
  awk -v codes="$1" "$bench_code_fn"' BEGIN {
    for (n = 0; n < codes; n++) printf "%s,1,0,,pdf\\doc%d.htm\n", code(n), int(n / 10)
  }' > "$2"
}
bench_desc_csv() {
  awk -v codes="$1" "$bench_code_fn"' BEGIN {
    for (n = 0; n < codes; n++) printf "%s,\"Description of code number %d, with some words\"\n", code(n), n
  }' > "$2"
}
