#!/bin/bash
# Builds an application to install from this machine's own files, never
# fetched: what a real Windows application ships, in folders as one would
# lay them out, about 50 MB in all.
#
#   bench/app-corpus.sh DIR [MEGABYTES]      (default 50)
#
#   bin/, bin/x86/   programs: Wine's .exe files (x86-64 and i386 builds)
#   lib/, lib/x86/   libraries: the mingw-w64 runtime DLLs and Wine's DLLs
#   doc/             text: licences, READMEs, change logs
#   doc/html/        HTML documentation
#   doc/man/manN/    man pages, uncompressed as an application ships them
#   share/images/    PNG, JPEG, BMP, GIF and icon files
#   share/fonts/     TrueType, OpenType and Type 1 fonts
#   share/data/      message catalogues (.mo), XML and JSON files
#
# Programs and libraries are stripped, as shipped programs are (the
# packages here keep their symbols); none of Wine's setup or installer
# parts is taken. Each kind has a share of the total; its files come from
# sorted paths in an order that spreads them over many folders, so that a
# second run on the same machine gives the same application. Names keep
# only letters, digits and ._+-; a name met twice in one folder (in any
# case) gets -2.
#
# DIR/files holds the application; DIR/LIST names each file with its size
# and origin, DIR/SHA256SUMS its checksum (sha256sum's format, paths below
# DIR/files).
set -euo pipefail
export LC_ALL=C
out=${1:?usage: app-corpus.sh DIR [MEGABYTES]}
megabytes=${2:-50}
rm -rf "$out"
mkdir -p "$out/files"
python3 - "$out" "$megabytes" <<'PY'
import gzip, os, re, shutil, struct, subprocess, sys

out, megabytes = sys.argv[1], int(sys.argv[2])
files = os.path.join(out, 'files')
MB = 1024 * 1024
# Shares of the total, in per cent.
SHARES = {'programs': 20, 'libraries': 28, 'text': 8, 'html': 8, 'man': 6,
          'images': 10, 'fonts': 10, 'data': 10}
NOT_INSTALLER = re.compile(r'setup|msi|inst|advpack|cab|wusa|updspapi|extrac', re.I)
WINE_DIRS = ['/usr/lib/x86_64-linux-gnu/wine/x86_64-windows',
             '/usr/lib/i386-linux-gnu/wine/i386-windows',
             '/usr/lib/wine/x86_64-windows', '/usr/lib/wine/i386-windows']


def walk(roots, accept):
    """Every regular file below roots (not through links) that accept takes."""
    found = set()
    for top in roots:
        for base, dirs, names in os.walk(top):
            dirs.sort()
            for name in names:
                path = os.path.join(base, name)
                if os.path.islink(path) or not os.path.isfile(path):
                    continue
                if accept(path, name):
                    found.add(path)
    return sorted(found)


def packable(name):
    # mksetup leaves hidden files and editor leftovers out; so does this.
    return not (name.startswith('.') or name.startswith('~$') or name.endswith('~')
                or name.startswith('#') or
                os.path.splitext(name)[1] in ('.swp', '.swo', '.bak', '.orig', '.rej'))


def size_between(low, high):
    return lambda path: low <= os.path.getsize(path) <= high


def pe_machine(path):
    """0x14c for an i386 program, 0x8664 for x86-64, None for no PE file."""
    try:
        with open(path, 'rb') as f:
            head = f.read(4096)
        if head[:2] != b'MZ':
            return None
        pe = struct.unpack_from('<I', head, 0x3c)[0]
        if head[pe:pe + 4] != b'PE\0\0':
            return None
        return struct.unpack_from('<H', head, pe + 4)[0]
    except (OSError, struct.error):
        return None


def is_text(path):
    with open(path, 'rb') as f:
        return b'\0' not in f.read(4096)


def clean(name):
    return re.sub(r'[^A-Za-z0-9._+-]', '_', name)


taken = set()


def place(folder, name):
    """A new name in folder; Windows does not tell upper from lower case."""
    os.makedirs(folder, exist_ok=True)
    stem, ext = os.path.splitext(clean(name))
    target, n = os.path.join(folder, stem + ext), 1
    while target.lower() in taken:
        n += 1
        target = os.path.join(folder, '%s-%d%s' % (stem, n, ext))
    taken.add(target.lower())
    return target


def pe_time(path):
    """The link time in a PE file's header."""
    with open(path, 'rb') as f:
        head = f.read(4096)
    return struct.unpack_from('<I', head, struct.unpack_from('<I', head, 0x3c)[0] + 8)[0]


def strip(path, target, machine):
    tool = 'i686-w64-mingw32-strip' if machine == 0x14c else 'x86_64-w64-mingw32-strip'
    # strip stamps the header with the time of day unless told a time: the
    # program's own, so that the copy is the same on every run.
    env = dict(os.environ, SOURCE_DATE_EPOCH=str(pe_time(path)))
    try:
        subprocess.run([tool, '-o', target, path], check=True, env=env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    except (OSError, subprocess.CalledProcessError):
        shutil.copyfile(path, target)


listing = []


def pick(kind, candidates, folder_of, name_of=os.path.basename, write=shutil.copyfile,
         limit=4 * MB):
    """Takes candidates until the kind's share is full, in an order that
    spreads any number of them evenly over the sorted list: the n-th goes
    by the fraction of n times the golden ratio (Fibonacci hashing), so
    the share spans many folders however many files it takes."""
    share = megabytes * MB * SHARES[kind] // 100
    if not candidates:
        sys.exit('app-corpus.sh: no files for %s on this machine' % kind)
    order = sorted(range(len(candidates)), key=lambda n: (n * 2654435769) % (1 << 32))
    total = count = 0
    for path in (candidates[n] for n in order):
        folder = os.path.join(files, folder_of(path))
        target = place(folder, name_of(path))
        write(path, target)
        size = os.path.getsize(target)
        # A file that would take the kind well past its share is passed
        # over for the smaller ones after it.
        if size == 0 or size > limit or total + size > share + share // 20:
            os.remove(target)
            continue
        listing.append((os.path.relpath(target, files), size, path))
        total += size
        count += 1
        if total >= share:
            print('%-9s %4d files %10d bytes' % (kind, count, total))
            return
    print('%-9s %4d files %10d bytes (all there are)' % (kind, count, total))


def pe_files(roots, suffixes, extra=lambda path, name: True):
    return walk(roots, lambda path, name: packable(name) and
                os.path.splitext(name)[1].lower() in suffixes and
                not NOT_INSTALLER.search(name) and extra(path, name) and
                os.path.getsize(path) <= 16 * MB and pe_machine(path) in (0x14c, 0x8664))


def arch_folder(top):
    return lambda path: top + ('/x86' if pe_machine(path) == 0x14c else '')


def stripped(path, target):
    strip(path, target, pe_machine(path))


pick('programs', pe_files(WINE_DIRS, ('.exe',)), arch_folder('bin'), write=stripped)
mingw = ['/usr/lib/gcc/i686-w64-mingw32', '/usr/lib/gcc/x86_64-w64-mingw32',
         '/usr/i686-w64-mingw32', '/usr/x86_64-w64-mingw32']
# The posix and win32 thread models' runtimes are near twins: one of them.
runtime = pe_files(mingw, ('.dll',), lambda path, name: '-win32/' not in path)
wine_dlls = pe_files(WINE_DIRS, ('.dll',))
pick('libraries', runtime + wine_dlls, arch_folder('lib'), write=stripped)

docs = ['/usr/share/common-licenses', '/usr/share/doc']
binary_ext = ('.gz', '.bz2', '.xz', '.zip', '.png', '.jpg', '.jpeg', '.gif', '.svg', '.ico',
              '.html', '.htm', '.css', '.js', '.pdf', '.woff', '.woff2', '.ttf', '.bmp')
pick('text', walk(docs, lambda path, name: packable(name) and
                  os.path.splitext(name)[1].lower() not in binary_ext and
                  size_between(2048, MB)(path) and is_text(path)),
     lambda path: 'doc')
pick('html', walk(['/usr/share/doc'], lambda path, name: packable(name) and
                  os.path.splitext(name)[1].lower() in ('.html', '.htm') and
                  size_between(2048, MB)(path)),
     lambda path: 'doc/html')


def man_section(path):
    return 'doc/man/' + os.path.basename(os.path.dirname(path))


def gunzip(path, target):
    with gzip.open(path, 'rb') as src, open(target, 'wb') as dst:
        shutil.copyfileobj(src, dst)


man_dirs = sorted(os.path.join('/usr/share/man', d) for d in os.listdir('/usr/share/man')
                  if re.fullmatch(r'man[0-9][a-z]*', d)) if os.path.isdir('/usr/share/man') else []
pick('man', walk(man_dirs, lambda path, name: packable(name) and name.endswith('.gz') and
                 size_between(3072, MB)(path)),
     man_section, lambda path: os.path.basename(path)[:-3], gunzip)
pick('images', walk(['/usr/share'], lambda path, name: packable(name) and
                    os.path.splitext(name)[1].lower() in
                    ('.png', '.jpg', '.jpeg', '.bmp', '.gif', '.ico') and
                    size_between(2048, 2 * MB)(path)),
     lambda path: 'share/images')
pick('fonts', walk(['/usr/share/fonts', '/usr/share/wine/fonts'],
                   lambda path, name: packable(name) and
                   os.path.splitext(name)[1].lower() in ('.ttf', '.otf', '.pfb', '.ttc')),
     lambda path: 'share/fonts')
def catalogue_name(path):
    """A message catalogue is named after its language: de-coreutils.mo."""
    parts = path.split('/')
    if path.endswith('.mo') and len(parts) > 5 and parts[3] == 'locale':
        return parts[4] + '-' + parts[-1]
    return parts[-1]


pick('data', walk(['/usr/share/locale'], lambda path, name: packable(name) and
                  name.endswith('.mo') and size_between(8192, MB)(path)) +
     walk(['/usr/share'], lambda path, name: packable(name) and
          os.path.splitext(name)[1].lower() in ('.xml', '.json') and
          size_between(4096, MB)(path)),
     lambda path: 'share/data', catalogue_name)

listing.sort()
with open(os.path.join(out, 'LIST'), 'w') as f:
    for name, size, origin in listing:
        f.write('%s %d %s\n' % (name, size, origin))
print('total     %4d files %10d bytes' % (len(listing), sum(s for _, s, _ in listing)))
PY
(cd "$out/files" && find . -type f | sed 's|^\./||' | sort | xargs -d '\n' sha256sum) > "$out/SHA256SUMS"
