# A TAP script whose tests all pass, used to produce prove.xml of the real
# corpus (see ../../../README.md).
use strict;
use warnings;

print "1..2\n";
print "ok 1 - adds\n";
print "ok 2 - concatenates\n";
