// The updater's executable, included unchanged at build time.

#ifndef QUORVEL_UPDATE_IMAGE_PATH
#error "QUORVEL_UPDATE_IMAGE_PATH must name the built updater"
#endif

__asm__(".pushsection .rodata,\"a\",@progbits\n"
        ".balign 16\n"
        ".globl quorvel_update_image_begin\n"
        ".type quorvel_update_image_begin, @object\n"
        "quorvel_update_image_begin:\n"
        ".incbin \"" QUORVEL_UPDATE_IMAGE_PATH "\"\n"
        ".globl quorvel_update_image_end\n"
        ".type quorvel_update_image_end, @object\n"
        "quorvel_update_image_end:\n"
        ".popsection\n");
