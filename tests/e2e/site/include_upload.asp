<!-- #include file="drop/x.inc" -->
<p>the page around an uploaded include</p>
