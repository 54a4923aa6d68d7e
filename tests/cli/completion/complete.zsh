#!/usr/bin/zsh -f
# complete.zsh FILE LINE: the words zsh's completion in FILE offers at the end of LINE, one a line.
# It runs an interactive zsh on a pseudo-terminal, types LINE and Tab, and records what the
# completion hands to compadd.
zmodload zsh/zpty || exit 1
dir=$(mktemp -d) || exit 1
trap 'zpty -d shell 2>/dev/null; rm -rf $dir' EXIT
cp $1 $dir/_tavikctl
out=$dir/out
zpty shell zsh -f -i
# Only the completion system's own functions beside FILE: compinit reads the others in seconds.
zpty -w shell "fpath=($dir \${(M)fpath:#*/Completion/(Base|Zsh)} \${fpath:#*/Completion/*}); autoload -Uz compinit; compinit -u -d $dir/dump"
zpty -w shell "compadd() { if [[ \${@[1,(i)(-|--)]} == *-(O|A|D)\\ * ]]; then builtin compadd \"\$@\"; return; fi; local -a hits; builtin compadd -A hits \"\$@\"; print -rl -- \$hits >>$out; }"
zpty -w shell "done_() { print -r -- '<done>' >>$out; }; comppostfuncs=(done_)"
zpty -w -n shell "$2"$'\t'
for i in {1..100}; do
    [[ -f $out ]] && grep -q '^<done>$' $out && break
    sleep 0.05
done
grep -v '^<done>$' $out | sort -u
