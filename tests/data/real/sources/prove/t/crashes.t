# A TAP script that dies after two passing tests of the three it planned:
# prove reports it as "Dubious" and fails, although no test failed.
use strict;
use warnings;

print "1..3\n";
print "ok 1 - starts\n";
print "ok 2 - goes on\n";
exit 2;
