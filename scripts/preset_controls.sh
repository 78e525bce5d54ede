#!/usr/bin/env bash
# Lists the presets of an LV2 presets file with their control values, one
# preset a line, fields separated by tabs:
#
#   PRESET_URI  PLUGIN_URI  LABEL  SYMBOL=VALUE SYMBOL=VALUE ...
#
#   scripts/preset_controls.sh PRESETS_TTL [PLUGIN_URI]
#
# With PLUGIN_URI only the presets that apply to that plug-in are listed.
# Presets come sorted by URI, their controls in no set order. lv2apply takes no
# preset, so the demo and the preset tests turn these values into its
# "-c SYMBOL VALUE" options. Reads the Turtle with sordi (package sordi).
set -euo pipefail

[ $# -ge 1 ] || { echo "usage: $0 PRESETS_TTL [PLUGIN_URI]" >&2; exit 2; }
ttl=$1
only=${2:-}
command -v sordi >/dev/null 2>&1 || { echo "$0: sordi is missing (package sordi)" >&2; exit 1; }
[ -f "$ttl" ] || { echo "$0: no file $ttl" >&2; exit 1; }

# N-Triples put one statement on each line, so a preset is gathered from its
# lines: the plug-in it applies to, its label and its port nodes, each port
# node with one symbol and one value.
triples=$(sordi -i turtle -o ntriples "$ttl")
awk -v only="$only" '
    function literal(line,    s) {
        s = line
        sub(/^[^"]*"/, "", s)
        sub(/"(\^\^<[^>]*>)?[ \t]*\.[ \t]*$/, "", s)
        return s
    }
    function strip(term) { gsub(/^<|>$/, "", term); return term }
    $2 == "<http://www.w3.org/1999/02/22-rdf-syntax-ns#type>" && $3 == "<http://lv2plug.in/ns/ext/presets#Preset>" {
        if (!(strip($1) in is_preset)) { is_preset[strip($1)] = 1; order[++count] = strip($1) }
    }
    $2 == "<http://lv2plug.in/ns/lv2core#appliesTo>" { plugin[strip($1)] = strip($3) }
    $2 == "<http://www.w3.org/2000/01/rdf-schema#label>" { label[strip($1)] = literal($0) }
    $2 == "<http://lv2plug.in/ns/lv2core#port>" { ports[strip($1)] = ports[strip($1)] " " $3 }
    $2 == "<http://lv2plug.in/ns/lv2core#symbol>" { symbol[$1] = literal($0) }
    $2 == "<http://lv2plug.in/ns/ext/presets#value>" { value[$1] = literal($0) }
    END {
        for (i = 1; i <= count; i++) {
            p = order[i]
            if (only != "" && plugin[p] != only) continue
            n = split(ports[p], nodes, " ")
            controls = ""
            for (j = 1; j <= n; j++)
                controls = controls (j > 1 ? " " : "") symbol[nodes[j]] "=" value[nodes[j]]
            printf "%s\t%s\t%s\t%s\n", p, plugin[p], label[p], controls
        }
    }' <<<"$triples"
