import sys

from zarnu.demo import main

sys.exit(main())
