# The plug-in's identity. Hosts recognise saved sessions by these values:
# never change them for a released product.
set(TESSARO_PRODUCT_NAME      "Velmoor TessaroEQ")
set(TESSARO_COMPANY_NAME      "Velmoor")
set(TESSARO_MANUFACTURER_CODE "VELM")
set(TESSARO_PLUGIN_CODE       "TSEQ")
set(TESSARO_BUNDLE_ID         "com.VelmoorGmbH.tessaroeq")
set(TESSARO_VERSION           "1.1.0")
set(TESSARO_LV2_URI           "https://velmoor.example/plugins/tessaroeq")
set(TESSARO_COMPANY_WEBSITE   "https://velmoor.example")
