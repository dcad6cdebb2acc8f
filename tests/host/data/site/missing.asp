text
<!-- #include file="nope.inc" -->
