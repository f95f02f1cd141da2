"""``python -m corvane``: see corvane.cli."""

import sys

from corvane.cli import main

sys.exit(main())
