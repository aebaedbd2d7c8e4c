#!/usr/bin/env python3
"""Makes the man page and the bash completion of kelvane from its help texts.

Usage: gen-docs.py KELVANE OUTDIR   (writes OUTDIR/kelvane.1, OUTDIR/kelvane.bash)
"""
import os
import re
import subprocess
import sys


def help_of(tool, *args):
    return subprocess.run([tool, *args, "--help"], check=True, capture_output=True,
                          text=True).stdout


def commands(main_help):
    """(name, alias, summary) from the "Commands:" block of the tool's help."""
    found, inside = [], False
    for line in main_help.splitlines():
        if line.startswith("Commands:"):
            inside = True
        elif inside and not line.strip():
            break
        elif inside:
            m = re.match(r"\s+(\S+?)(?:, (\S+))?\s{2,}(.*)", line)
            if m:
                found.append(m.groups())
    return found


def options(command_help):
    """Every option word of a command's help ("-x", "--exclude", ...)."""
    words = []
    for line in command_help.splitlines():
        m = re.match(r"\s{2,8}(-.*?)(?:\s{2,}|$)", line)
        if m:
            found = re.findall(r"(?<![\w-])(--?[\w][\w-]*)", m.group(1))
            if "-0" in found and "-9" in found:  # "-0 ... -9"
                found = ["-%d" % d for d in range(10)] + found[2:]
            words += found
    return sorted(set(words), key=words.index)


def troff(text):
    out = []
    for line in text.rstrip("\n").splitlines():
        line = line.replace("\\", "\\e").replace("-", "\\-")
        if line.startswith((".", "'")):
            line = "\\&" + line
        out.append(line)
    return "\n".join(out)


def man_page(tool, version, main_help, cmds):
    parts = [
        '.TH KELVANE 1 "" "%s" "User Commands"' % version,
        ".SH NAME",
        "kelvane \\- make, change, list, extract and test ZIP archives",
        ".SH SYNOPSIS",
        ".nf",
        troff(main_help.split("\n\n")[0]),
        ".fi",
        ".SH DESCRIPTION",
        ".nf",
        troff(main_help.split("\n\n", 1)[1]),
        ".fi",
        ".SH COMMANDS",
    ]
    for name, _alias, _summary in cmds:
        parts += [".SS %s" % name, ".nf", troff(help_of(tool, name)), ".fi"]
    return "\n".join(parts) + "\n"


def completion(tool, cmds):
    words = " ".join(n + ("" if a is None else " " + a) for n, a, _ in cmds)
    cases = []
    for name, alias, _ in cmds:
        pattern = name if alias is None else name + "|" + alias
        cases.append('    %s) opts="%s" ;;' % (pattern, " ".join(options(help_of(tool, name)))))
    return """# bash completion for kelvane (made from its help texts)
_kelvane() {
  local cur=${COMP_WORDS[COMP_CWORD]} opts=""
  if [[ $COMP_CWORD -eq 1 ]]; then
    COMPREPLY=($(compgen -W "%s --help --version" -- "$cur"))
    return
  fi
  case ${COMP_WORDS[1]} in
%s
  esac
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$opts" -- "$cur"))
  else
    COMPREPLY=($(compgen -f -- "$cur"))
  fi
}
complete -o filenames -F _kelvane kelvane
""" % (words, "\n".join(cases))


def main():
    tool, outdir = sys.argv[1], sys.argv[2]
    os.makedirs(outdir, exist_ok=True)
    main_help = help_of(tool)
    version = subprocess.run([tool, "--version"], check=True, capture_output=True,
                             text=True).stdout.split(" (")[0]
    cmds = commands(main_help)
    with open(os.path.join(outdir, "kelvane.1"), "w") as f:
        f.write(man_page(tool, version, main_help, cmds))
    with open(os.path.join(outdir, "kelvane.bash"), "w") as f:
        f.write(completion(tool, cmds))


if __name__ == "__main__":
    main()
