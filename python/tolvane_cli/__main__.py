"""`python3.14 -m tolvane_cli`: the command line, as the console script runs it."""

import sys

from tolvane_cli import main

sys.exit(main())
