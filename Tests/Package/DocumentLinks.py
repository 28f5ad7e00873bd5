#!/usr/bin/env python3
"""The Markdown documents against the tree and CTest's list, so that a renamed
file or test shows up as a failure instead of a dead reference.

Checked in every tracked Markdown file (prose only: fenced and indented code
blocks are samples and are left alone):

- Links `[text](target)`: a relative target (anchor dropped) must exist,
  relative to the document. Web links and pure anchors are not followed.
- File paths in backticks. A span is a path when it has no space and either
  starts with a top-level folder of the tree (`Scripts/Run.sh`), ends in `/`
  (`Guid/`), or ends in a source extension (`.cpp`, `.inf`, ...). Checked:
  a path under a top-level folder must exist (a glob must match something);
  any other path must exist relative to the document or be the tail of a path
  in the tree. Not checked: build outputs (`build/...`, `build-fuzz/...`, and
  bare `.efi`, `.fd`, `.bin` names), absolute and home paths, shell paths
  (`fs0:\\...`), placeholders (`<...>`, `NAME`, `DIR` in capitals, `$VAR`).
  A span with spaces is a command line: each word of it under a top-level
  folder is checked the same way.
- Test names in backticks. `Suite.Case`, `Suite.*` and `Suite.*Tail` (a
  GoogleTest name or pattern) must match a test in CTest's list. A bare
  CamelCase word (two capitals at least, letters and digits) must be a test in
  CTest's list, a test declared with `add_test(NAME ...)` under Tests/ (the
  fuzz build's tests are not in the default build's list), or a word of the
  tree's code (a function, type, variable or module name); a word that is
  none of these is a test or name that no longer exists. A function of
  another code base is written as a call, `Name ()`, and left alone.

Usage: DocumentLinks.py REPO_ROOT (--ctest CTEST BUILD_DIR | --ctest-list FILE)

SPDX-License-Identifier: BSD-2-Clause-Patent
"""

import fnmatch
import glob
import os
import re
import subprocess
import sys

SKIP_DIRS = {'.git', '.ci-cache'}
SOURCE_EXTENSIONS = ('.md', '.py', '.sh', '.cpp', '.h', '.hpp', '.inf', '.dec', '.dsc',
                     '.fdf', '.txt', '.cmake', '.patch', '.lst', '.json')
OUTPUT_EXTENSIONS = ('.nsh', '.efi', '.fd', '.bin', '.depex', '.bak', '.so', '.log', '.cer',
                     '.crt', '.key', '.tsv')
TEST_PATTERN = re.compile(r'^[A-Z][A-Za-z0-9]*\.(\*?[A-Za-z0-9]*)$')
CAMEL_WORD = re.compile(r'^[A-Z][a-z0-9]+(?:[A-Z][A-Za-z0-9]*)+$')
LINK = re.compile(r'\[[^\]]*\]\(([^)\s]+)\)')
SPAN = re.compile(r'(`+)([^`]+?)\1')


def tree_files(root):
    files = []
    for dirpath, dirnames, filenames in os.walk(root):
        rel = os.path.relpath(dirpath, root)
        dirnames[:] = [d for d in dirnames
                       if d not in SKIP_DIRS and not (rel == '.' and d.startswith('build'))]
        for name in filenames:
            files.append(os.path.normpath(os.path.join(rel, name)))
    return files


def prose_lines(text):
    """Yields (line number, line) outside fenced and indented code blocks."""
    fenced = False
    previous_blank = True
    in_indented = False
    for number, line in enumerate(text.splitlines(), 1):
        if line.lstrip().startswith('```'):
            fenced = not fenced
            continue
        if fenced:
            continue
        if not line.strip():
            previous_blank = True
            continue
        if line.startswith('    ') and (previous_blank or in_indented) and not re.match(r'\s*[-*|]|\s*\d+\.', line):
            # An indented block after a blank line is a code sample; a list
            # item's continuation is indented too, but follows text directly.
            in_indented = True
            previous_blank = False
            continue
        in_indented = False
        previous_blank = False
        yield number, line


def spans(text):
    """Inline code spans joined across line breaks, with their line number."""
    lines = list(prose_lines(text))
    joined = ''
    starts = []
    for number, line in lines:
        starts.append((len(joined), number))
        joined += line + '\n'
    for match in SPAN.finditer(joined):
        content = match.group(2).replace('\n', ' ').strip()
        number = max(n for offset, n in starts if offset <= match.start())
        yield number, content
    for match in LINK.finditer(joined):
        number = max(n for offset, n in starts if offset <= match.start())
        yield number, ('link', match.group(1))


def is_placeholder(token):
    return (re.search(r'[<>${}]', token) is not None
            or re.search(r'(^|/)[A-Z][A-Z_]{2,}(/|$|\.)', token) is not None
            or re.search(r'\bN\b', token) is not None)


class Tree:
    def __init__(self, root):
        self.root = root
        self.files = tree_files(root)
        self.dirs = set()
        for path in self.files:
            parent = os.path.dirname(path)
            while parent:
                self.dirs.add(parent)
                parent = os.path.dirname(parent)
        self.top = {p.split(os.sep)[0] for p in self.files if os.sep in p}
        self.words = set()
        for path in self.files:
            if path.endswith('.md'):
                continue
            self.words.add(os.path.splitext(os.path.basename(path))[0])
            try:
                with open(os.path.join(root, path), encoding='utf-8', errors='replace') as f:
                    self.words.update(re.findall(r'[A-Za-z_][A-Za-z0-9_]*', f.read()))
            except OSError:
                pass
        self.suites = set()
        for path in self.files:
            if path.startswith('Tests') and path.endswith('.cpp'):
                with open(os.path.join(root, path), encoding='utf-8', errors='replace') as f:
                    self.suites.update(re.findall(r'\bTEST(?:_F|_P)?\s*\(\s*(\w+)', f.read()))
        self.declared_tests = set()
        for path in self.files:
            if os.path.basename(path) == 'CMakeLists.txt' and path.startswith('Tests'):
                with open(os.path.join(root, path), encoding='utf-8') as f:
                    self.declared_tests.update(re.findall(r'add_test\(NAME\s+(\w+)', f.read()))

    def exists_under_root(self, path):
        path = path.rstrip('/')
        if any(ch in path for ch in '*?['):
            return bool(glob.glob(os.path.join(self.root, path)))
        return os.path.exists(os.path.join(self.root, path))

    def exists_anywhere(self, doc_dir, path):
        tail = os.path.normpath(path.rstrip('/'))
        if os.path.exists(os.path.join(self.root, doc_dir, tail)):
            return True
        if any(ch in tail for ch in '*?['):
            return any(fnmatch.fnmatch(p, '*' + tail) for p in self.files)
        suffix = os.sep + tail
        return (tail in self.dirs or tail in self.files
                or any(p.endswith(suffix) for p in self.files)
                or any(d.endswith(suffix) for d in self.dirs))


def path_problem(tree, doc_dir, token):
    """None when the token is not a checked path or names something that exists."""
    if (' ' in token or '\\' in token or token.startswith(('/', '~', '-', '.', 'http'))
            or ':' in token or is_placeholder(token) or token.startswith('build')):
        return None
    first = token.split('/')[0]
    if '/' in token and first not in tree.top and first.endswith('Pkg'):
        return None          # a path inside EDK2 or edk2-platforms
    if '/' in token and first in tree.top:
        if tree.exists_under_root(token) or tree.exists_under_root(token + '.*'):
            return None      # a module named by its file pair's stem counts
        return 'no such file or folder'
    if token.endswith(OUTPUT_EXTENSIONS):
        return None
    if token.endswith('/') or ('/' in token and token.endswith(SOURCE_EXTENSIONS)):
        return None if tree.exists_anywhere(doc_dir, token) else 'no such file or folder'
    if token.endswith(('.txt', '.json')) and token != 'CMakeLists.txt':
        return None          # a bare data file name is an example's input
    if token.endswith(SOURCE_EXTENSIONS) and re.match(r'^[\w.*-]+$', token):
        name = token
        if any(fnmatch.fnmatch(os.path.basename(p), name) for p in tree.files):
            return None
        return 'no file of that name in the tree'
    return None


def test_problem(tree, tests, token):
    if TEST_PATTERN.match(token) and not token.endswith(SOURCE_EXTENSIONS + OUTPUT_EXTENSIONS):
        suite = token.split('.')[0]
        if suite in tree.suites or suite in {t.split('.')[0] for t in tests if '.' in t}:
            if any(fnmatch.fnmatch(t, token) for t in tests):
                return None
            return "no test in CTest's list matches it"
        # Not a test suite: a member access such as Board.Variables, whose
        # parts must still be names in the tree.
        if all(part in tree.words for part in token.split('.')):
            return None
        return "neither a test in CTest's list nor a name in the tree"
    if CAMEL_WORD.match(token):
        if token in tests or token in tree.declared_tests or token in tree.words:
            return None
        return "neither a test in CTest's list nor a name in the tree"
    return None


def read_tests(args):
    if args[0] == '--ctest-list':
        with open(args[1], encoding='utf-8') as f:
            listing = f.read()
    elif args[0] == '--ctest':
        listing = subprocess.run([args[1], '--test-dir', args[2], '-N'], check=True,
                                 capture_output=True, text=True).stdout
    else:
        raise SystemExit(__doc__)
    tests = set(re.findall(r'Test\s+#\d+: (\S+)', listing))
    if not tests:
        raise SystemExit("DocumentLinks: CTest's list is empty")
    return tests


def main(argv):
    if len(argv) not in (4, 5):
        print(__doc__, file=sys.stderr)
        return 2
    root = os.path.abspath(argv[1])
    tests = read_tests(argv[2:])
    tree = Tree(root)
    documents = sorted(p for p in tree.files if p.endswith('.md'))
    problems = []
    checked = 0
    for doc in documents:
        doc_dir = os.path.dirname(doc)
        with open(os.path.join(root, doc), encoding='utf-8') as f:
            text = f.read()
        for number, token in spans(text):
            if isinstance(token, tuple):
                target = token[1].split('#')[0]
                if not target or re.match(r'^[a-z]+:', token[1]):
                    continue
                checked += 1
                if not os.path.exists(os.path.join(root, doc_dir, target)):
                    problems.append(f'{doc}:{number}: link ({token[1]}): no such file or folder')
                continue
            words = token.split() if ' ' in token else [token]
            for word in words:
                if ' ' in token and not (word.split('/')[0] in tree.top and '/' in word):
                    continue
                word = word.strip('",;()')
                problem = path_problem(tree, doc_dir, word)
                if problem is None and ' ' not in token:
                    problem = test_problem(tree, tests, word)
                checked += 1
                if problem:
                    problems.append(f'{doc}:{number}: `{word}`: {problem}')
    for problem in problems:
        print(problem)
    print(f'{len(documents)} documents, {checked} links, paths and names checked, '
          f'{len(problems)} broken; {len(tests)} tests in CTest\'s list')
    return 1 if problems else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))
