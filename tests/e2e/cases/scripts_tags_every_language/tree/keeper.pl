#!/usr/bin/perl
package Zoo::Keeper;

my $doc = <<EOT;
sub not_a_sub {
EOT

=pod

sub in_pod {

=cut

sub feed {
    my $n = 1 << 2;
    return $n;
}
