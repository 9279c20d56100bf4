#!/usr/bin/perl
# Run by Perl_Compiler with this script and the profile file. The request's
# values are environment variables too; the answer goes into Output_File.
use strict;
use warnings;

sub decode { my $t = shift // ''; $t =~ tr/+/ /; $t =~ s/%([0-9A-Fa-f]{2})/chr hex $1/ge; $t }
sub escape { my $t = shift // ''; $t =~ s/&/&amp;/g; $t =~ s/</&lt;/g; $t =~ s/>/&gt;/g;
             $t =~ s/"/&quot;/g; $t }

my $form = $ENV{QUERY_STRING} // '';
if (open my $in, '<', $ENV{Content_File}) { local $/; $form .= '&' . (<$in> // ''); }
my %field = map { my ($k, $v) = split /=/, $_, 2; (decode($k), decode($v)) } grep /=/, split /&/, $form;

open my $out, '>', $ENV{Output_File} or die "no output file\n";
my $words = escape($field{words} // 'nothing');
printf $out "Content-type: text/html\r\n\r\n<html><head><title>Perl</title></head><body>\n"
  . "<h1>Perl heard: %s</h1>\n<p>%s, %d characters, sent by %s; profile file <code>%s</code>.</p>\n"
  . "<p><a href=\"/forms.htm\">Back to the forms</a></p></body></html>\n",
  $words, escape(uc $words), length($field{words} // ''), escape($ENV{Request_Method}),
  escape($ARGV[0] // '');
close $out;
