<!-- #include file="loop.asp" -->
