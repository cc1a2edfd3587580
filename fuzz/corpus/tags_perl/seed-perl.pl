#!/usr/bin/perl
package Foo::Bar;
use strict;
sub new { my ($c, %a) = @_; return bless {%a}, $c; }
sub Foo::baz($) { 1 }
my $s = <<"EOT";
body ; { }
EOT
my $t = <<~X . "a";
  x
  X
$x =~ s{a}{b}g; $y =~ m/\}/; $z =~ tr/a-z/A-Z/;
my $q = q{ ; }; print $#a, $h{"k"}, 1 << 2;

=pod

sub hidden { }

=cut

sub after { }
__END__
