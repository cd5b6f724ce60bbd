#!/usr/bin/env bash
# Checks that every #include "folder/..." between the source folders points
# down the layers: a folder may include itself and the folders listed before
# it, never one listed after it. That also rules out cycles between folders.
#   scripts/check-layers.sh          check; exits 1 and lists the includes that point up
#   scripts/check-layers.sh --graph  print the include graph between folders
set -euo pipefail
cd "$(dirname "$0")/.."

# The layer order, lowest first. Written only here.
order=(
  platform core                          # base: Qt Core, Network, OpenSSL
  account conference projection weather  # services
  streaming receiver standins printdriver  # programs beside the client
  ui                                     # GUI: Widgets, WebEngine
  app                                    # the application: start-up order
)

declare -A rank
for i in "${!order[@]}"; do rank[${order[$i]}]=$i; done

# The files of the listed folders, new ones included; find outside a checkout.
sources() {
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files --cached --others --exclude-standard -- "${order[@]/%//}"
  else
    find "${order[@]}" -type f
  fi
}

# Lines "from to file:line" for every include of another listed folder.
edges() {
  sources | grep -E '\.(h|cpp)$' | while read -r file; do
    { grep -n -o -E '^[[:space:]]*#[[:space:]]*include[[:space:]]+"[a-z]+/' "$file" || true; } | while IFS=: read -r line text; do
      to=${text%/}
      to=${to##*\"}
      from=${file%%/*}
      if [[ -n ${rank[$to]+x} && $to != "$from" ]]; then echo "$from $to $file:$line"; fi
    done
  done
}

if [[ ${1:-} == --graph ]]; then
  edges | awk '{ n[$1 " -> " $2]++ } END { for (e in n) printf "%s (%d)\n", e, n[e] }' | sort
  exit 0
fi

status=0
while read -r from to where; do
  if (( rank[$to] > rank[$from] )); then
    echo "$where: $from/ includes $to/, a layer above it" >&2
    status=1
  fi
done < <(edges)
if (( status )); then
  echo "Layer order (lowest first): ${order[*]}" >&2
fi
exit $status
