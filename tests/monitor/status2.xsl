<xsl:stylesheet xmlns:xsl="http://www.w3.org/1999/XSL/Transform" version="1.0">
<xsl:output omit-xml-declaration="yes" method="html" indent="no" encoding="UTF-8"/>
<!-- The server monitor's status page: a <pre> block with one line per live
     mountpoint, comma-separated fields, the mountpoint first. -->
<xsl:template match="/icestats">
<html><head><title>Status</title></head><body>
<pre><xsl:text>&#10;</xsl:text>
<xsl:for-each select="source">
<xsl:value-of select="@mount"/>,<xsl:value-of select="listeners"/>,<xsl:value-of select="server_type"/>,<xsl:value-of select="server_name"/><xsl:text>&#10;</xsl:text>
</xsl:for-each>
</pre>
</body></html>
</xsl:template>
</xsl:stylesheet>
