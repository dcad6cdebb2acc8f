<% Response.Write("dropped"); Response.Redirect("/static.txt?from=redirect"); %>never
