<!-- #include file="site_copy.inc" -->
<p>the page around a site file</p>
