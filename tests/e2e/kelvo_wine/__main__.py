"""python3 -m kelvo_wine watchdog PREFIX ROOT keep|remove: the watchdog that a
Session starts, which cleans up after a harness that was killed."""

import sys

from .processes import _watchdog_main

if len(sys.argv) == 5 and sys.argv[1] == "watchdog":
    sys.exit(_watchdog_main(*sys.argv[2:]))
sys.exit(__doc__)
